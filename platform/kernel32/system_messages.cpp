// FormatMessageA for system error codes: the English text of every code the platform sets, worded as Windows
// words it, each message ending in a line break as there. Only FORMAT_MESSAGE_FROM_SYSTEM is served: the
// platform has no message tables in modules and formats no caller strings.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

struct SystemMessage {
    DWORD code;
    const char *text;
};

constexpr SystemMessage system_messages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_INVALID_DATA, "The data is invalid."},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {ERROR_INVALID_DRIVE, "The system cannot find the drive specified."},
    {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {ERROR_READ_FAULT, "The system cannot read from the specified device."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_BAD_NETPATH, "The network path was not found."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
    {ERROR_NEGATIVE_SEEK, "An attempt was made to move the file pointer before the beginning of the file."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_SIGNAL_REFUSED, "The recipient process has refused the signal."},
    {ERROR_NOT_LOCKED, "The segment is already unlocked."},
    {ERROR_BAD_PATHNAME, "The specified path is invalid."},
    {ERROR_BUSY, "The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_BAD_PIPE, "The pipe state is invalid."},
    {ERROR_PIPE_BUSY, "All pipe instances are busy."},
    {ERROR_NO_DATA, "The pipe is being closed."},
    {ERROR_PIPE_NOT_CONNECTED, "No process is on the other end of the pipe."},
    {ERROR_MORE_DATA, "More data is available."},
    {WAIT_TIMEOUT, "The wait operation timed out."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller."},
    {ERROR_TOO_MANY_POSTS, "Too many posts were made to a semaphore."},
    {ERROR_PIPE_CONNECTED, "There is a process on other end of the pipe."},
    {ERROR_PIPE_LISTENING, "Waiting for a process to open the other end of the pipe."},
    {ERROR_OPERATION_ABORTED,
     "The I/O operation has been aborted because of either a thread exit or an application request."},
    {ERROR_IO_INCOMPLETE, "Overlapped I/O event is not in a signaled state."},
    {ERROR_IO_PENDING, "Overlapped I/O operation is in progress."},
    {ERROR_NOACCESS, "Invalid access to memory location."},
    {ERROR_INVALID_FLAGS, "Invalid flags."},
    {ERROR_INVALID_SERVICE_CONTROL, "The requested control is not valid for this service."},
    {ERROR_SERVICE_REQUEST_TIMEOUT, "The service did not respond to the start or control request in a timely fashion."},
    {ERROR_SERVICE_NO_THREAD, "A thread could not be created for the service."},
    {ERROR_SERVICE_DATABASE_LOCKED, "The service database is locked."},
    {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
    {ERROR_INVALID_SERVICE_ACCOUNT,
     "The account name is invalid or does not exist, or the password is invalid for the account name specified."},
    {ERROR_SERVICE_DISABLED,
     "The service cannot be started, either because it is disabled or because it has no "
     "enabled devices associated with it."},
    {ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."},
    {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, "The service cannot accept control messages at this time."},
    {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started."},
    {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, "The service process could not connect to the service controller."},
    {ERROR_EXCEPTION_IN_SERVICE, "An exception occurred in the service when handling the control request."},
    {ERROR_SERVICE_SPECIFIC_ERROR, "The service has returned a service-specific error code."},
    {ERROR_PROCESS_ABORTED, "The process terminated unexpectedly."},
    {ERROR_SERVICE_MARKED_FOR_DELETE, "The specified service has been marked for deletion."},
    {ERROR_SERVICE_EXISTS, "The specified service already exists."},
    {ERROR_SERVICE_NOT_IN_EXE,
     "The executable program that this service is configured to run in does not implement the service."},
    {ERROR_MESSAGE_SYNC_ONLY, "The message can be used only with synchronous operations."},
    {ERROR_INVALID_EVENTNAME, "The format of the specified event name is invalid."},
    {ERROR_UNKNOWN_REVISION, "The revision level is unknown."},
    {ERROR_REVISION_MISMATCH, "Indicates two revision levels are incompatible."},
    {ERROR_INVALID_OWNER, "This security ID may not be assigned as the owner of this object."},
    {ERROR_NO_SUCH_PRIVILEGE, "A specified privilege does not exist."},
    {ERROR_PRIVILEGE_NOT_HELD, "A required privilege is not held by the client."},
    {ERROR_NONE_MAPPED, "No mapping between account names and security IDs was done."},
    {ERROR_INVALID_ACL, "The access control list (ACL) structure is invalid."},
    {ERROR_INVALID_SID, "The security ID structure is invalid."},
    {ERROR_INVALID_SECURITY_DESCR, "The security descriptor structure is invalid."},
    {ERROR_ALLOTTED_SPACE_EXCEEDED, "No more memory is available for security information updates."},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."},
    {ERROR_INVALID_MENU_HANDLE, "Invalid menu handle."},
    {ERROR_INVALID_CURSOR_HANDLE, "Invalid cursor handle."},
    {ERROR_TLW_WITH_WSCHILD, "Cannot create a top-level child window."},
    {ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class."},
    {ERROR_WINDOW_OF_OTHER_THREAD, "Invalid window; it belongs to other thread."},
    {ERROR_CLASS_ALREADY_EXISTS, "Class already exists."},
    {ERROR_CLASS_DOES_NOT_EXIST, "Class does not exist."},
    {ERROR_INVALID_INDEX, "Invalid index."},
    {ERROR_CONTROL_ID_NOT_FOUND, "Control ID not found."},
    {ERROR_INVALID_THREAD_ID, "Invalid thread identifier."},
    {ERROR_NO_SCROLLBARS, "The window does not have scroll bars."},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
    {RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The specified resource type cannot be found in the image file."},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file."},
    {ERROR_RESOURCE_LANG_NOT_FOUND, "The specified resource language ID cannot be found in the image file."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
};

const char *system_message(DWORD code) {
    for (const SystemMessage &message : system_messages)
        if (message.code == code)
            return message.text;
    return nullptr;
}

// The texts are English: a neutral or English request gets them, any other language does not exist.
bool language_available(DWORD language) {
    WORD primary = PRIMARYLANGID(language);
    return language == 0 || primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

DWORD fail(DWORD error) {
    SetLastError(error);
    return 0;
}

}  // namespace

// Flags the platform serves: FORMAT_MESSAGE_FROM_SYSTEM, with FORMAT_MESSAGE_IGNORE_INSERTS (none of these texts
// has an insert, so it changes nothing), FORMAT_MESSAGE_ALLOCATE_BUFFER (lpBuffer then receives a block to free
// with LocalFree, at least nSize bytes) and a maximum width, which turns the closing line break into a space
// as FORMAT_MESSAGE_MAX_WIDTH_MASK does; a narrower width does not wrap the text here.
extern "C" DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                       LPSTR lpBuffer, DWORD nSize, va_list *Arguments) {
    (void)lpSource;
    (void)Arguments;
    constexpr DWORD served = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                             FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                             FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & ~served) || !lpBuffer)
        return fail(ERROR_INVALID_PARAMETER);
    if (!language_available(dwLanguageId))
        return fail(ERROR_RESOURCE_LANG_NOT_FOUND);
    const char *found = system_message(dwMessageId);
    if (!found)
        return fail(ERROR_MR_MID_NOT_FOUND);
    std::string text = found;
    text += (dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) ? " " : "\r\n";
    auto length = static_cast<DWORD>(text.size());

    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto *block = static_cast<char *>(LocalAlloc(LMEM_FIXED, std::max<SIZE_T>(nSize, length + 1)));
        if (!block)
            return fail(ERROR_NOT_ENOUGH_MEMORY);
        std::memcpy(block, text.c_str(), length + 1);
        *reinterpret_cast<LPSTR *>(lpBuffer) = block;
        return length;
    }
    if (nSize < length + 1)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(lpBuffer, text.c_str(), length + 1);
    return length;
}
