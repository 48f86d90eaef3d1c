/*
 * vessamir - the Varnholtguard floppy lock service.
 *
 * Locks the floppy drives "\\.\A:" and "\\.\B:" so that only the local groups "Administrators" and
 * "Power Users" can open them, and serves the named pipe "\\.\pipe\sd_flppy", on which a client locks (L),
 * unlocks (U) or queries (Q) the drives. Failures go to the event log; failed drive writes are detailed
 * in the log file "c:\vessamir.out".
 *
 * Threads: the main thread runs the dispatcher and, inside it, the control handler FloppyServiceCtrl;
 * the dispatcher runs FloppyServiceMain on a thread of its own; FloppyServiceMain starts PipeServerThread.
 * What they share is reached through interlocked calls (fFloppiesLocked, dwServiceExitCode) or under
 * csServiceStatus (ServiceStatus, hStopEvent) or csDrives (fStopping).
 *
 * Stopping: the stop control unlocks both drives, and from then on the pipe server serves no request. The
 * drive writes of a request and the stop's unlock are made under csDrives, so a request is either served
 * before the unlock or not at all: a lock can never land after the stop's unlock.
 */

#include <windows.h>

#include <stdio.h>
#include <string.h>

#define SERVICE_NAME "Varnholtguard"
#define PIPE_NAME "\\\\.\\pipe\\sd_flppy"
#define LOG_FILE_NAME "c:\\vessamir.out"
#define DRIVE_A "\\\\.\\A:"
#define DRIVE_B "\\\\.\\B:"

#define PIPE_MESSAGE_SIZE 180
#define PIPE_TIMEOUT 1000
#define START_WAIT_HINT 3000
#define STOP_WAIT_HINT 3000

/* The line number the drive-write error line has always carried. */
#define SET_FILE_SECURITY_LINE 744

/* One request from a pipe client: a command letter and whatever follows it. */
typedef struct tagPIPEREQUEST {
    CHAR chCommand;
    CHAR achRest[PIPE_MESSAGE_SIZE - 1];
} PIPEREQUEST;

/* One reply to a pipe client: a status text ended by a NUL, always sent whole. */
typedef struct tagPIPEREPLY {
    CHAR szText[PIPE_MESSAGE_SIZE];
} PIPEREPLY;

/* Service control. */
static CHAR szServiceName[] = SERVICE_NAME;
static SERVICE_TABLE_ENTRYA DispatchTable[2];
static SERVICE_STATUS ServiceStatus;
static SERVICE_STATUS_HANDLE hServiceStatus = NULL;
static CRITICAL_SECTION csServiceStatus;
static HANDLE hStopEvent = NULL;
static HANDLE hServeEvent = NULL; /* signalled while running; the pipe server holds there when paused */
static HANDLE hPipeThread = NULL;
static DWORD dwPipeThreadId = 0;
static DWORD volatile dwServiceExitCode = 0;
static CRITICAL_SECTION csDrives; /* held across a request's drive writes and across the stop's unlock */
static BOOL fStopping = FALSE;    /* under csDrives: a stop has begun, no request is served any more */

/* Drive security. SIDs and the ACL are read as records by the system, hence the DWORD alignment. */
alignas(DWORD) static BYTE sidAdministrators[75];
alignas(DWORD) static BYTE sidPowerUsers[75];
static DWORD cbSid = 75;
alignas(DWORD) static BYTE aclLocked[150];
static DWORD cbAcl = 150;
static SECURITY_DESCRIPTOR sdLocked;
static SECURITY_DESCRIPTOR sdUnlocked;
static LONG volatile fFloppiesLocked = 0;

/* The command pipe. */
static HANDLE hPipe = INVALID_HANDLE_VALUE;

/* ------------------------------------------------------------------------------------------------ */
/* Error reporting and the log file                                                                 */
/* ------------------------------------------------------------------------------------------------ */

static VOID SignalStopEvent(VOID) {
    EnterCriticalSection(&csServiceStatus);
    if (hStopEvent != NULL)
        SetEvent(hStopEvent);
    LeaveCriticalSection(&csServiceStatus);
}

/* Writes an error event for the failing call, keeps its error code as the exit code and ends the service. */
static VOID ReportServiceError(LPCSTR szMessage) {
    DWORD dwError = GetLastError();
    HANDLE hEventSource;
    CHAR szEvent[256];
    LPCSTR aszStrings[2];

    InterlockedExchange((LONG volatile *)&dwServiceExitCode, (LONG)dwError);
    hEventSource = RegisterEventSourceA(NULL, SERVICE_NAME);
    sprintf(szEvent, "Varnholtguard error: %d", (int)dwError);
    if (hEventSource != NULL) {
        aszStrings[0] = szEvent;
        aszStrings[1] = szMessage;
        ReportEventA(hEventSource, EVENTLOG_ERROR_TYPE, 0, 0, NULL, 2, 0, aszStrings, NULL);
        DeregisterEventSource(hEventSource);
    }
    SignalStopEvent();
}

static VOID OpenLogFile(VOID) {
    freopen(LOG_FILE_NAME, "w+", stdout);
}

/* Every entry reaches the file at once: a reply that points to the log must find its line there. */
static VOID WriteLogNotFound(LPCSTR szDriveName) {
    printf("\nAttempted to lock %s, but it was not found", szDriveName);
    fflush(stdout);
}

static VOID WriteLogError(DWORD dwError) {
    printf("\n%s: Error %d from %s on line %d", "vessamir", (int)dwError, "SetFileSecurity", SET_FILE_SECURITY_LINE);
    fflush(stdout);
}

/* ------------------------------------------------------------------------------------------------ */
/* Drive security descriptors and locking                                                           */
/* ------------------------------------------------------------------------------------------------ */

static VOID LookupGroup(LPCSTR szGroup, BYTE *pSid) {
    CHAR szDomain[40];
    DWORD cchDomain = sizeof(szDomain);
    SID_NAME_USE snu = (SID_NAME_USE)0;

    memset(szDomain, 0, sizeof(szDomain));
    if (!LookupAccountNameA(NULL, szGroup, (PSID)pSid, &cbSid, szDomain, &cchDomain, &snu))
        ReportServiceError("LookupAccountName");
    if (snu != SidTypeAlias)
        ReportServiceError("LookupAccountName returned the wrong SID type");
}

/* Builds the locked descriptor (only the two groups, all access) and the unlocked one (null DACL).
   Every step runs; each failure is reported. */
static VOID BuildDriveSecurity(VOID) {
    LookupGroup("Administrators", sidAdministrators);
    LookupGroup("Power Users", sidPowerUsers);

    if (!InitializeAcl((PACL)aclLocked, cbAcl, ACL_REVISION))
        ReportServiceError("InitializeAcl");
    if (!AddAccessAllowedAce((PACL)aclLocked, ACL_REVISION, FILE_ALL_ACCESS, (PSID)sidAdministrators))
        ReportServiceError("AddAccessAllowedAce");
    if (!AddAccessAllowedAce((PACL)aclLocked, ACL_REVISION, FILE_ALL_ACCESS, (PSID)sidPowerUsers))
        ReportServiceError("AddAccessAllowedAce");

    if (!InitializeSecurityDescriptor(&sdLocked, SECURITY_DESCRIPTOR_REVISION))
        ReportServiceError("InitializeSecurityDescriptor");
    if (!InitializeSecurityDescriptor(&sdUnlocked, SECURITY_DESCRIPTOR_REVISION))
        ReportServiceError("InitializeSecurityDescriptor");

    if (!SetSecurityDescriptorDacl(&sdLocked, TRUE, (PACL)aclLocked, FALSE))
        ReportServiceError("SetSecurityDescriptorDacl");
    if (!SetSecurityDescriptorDacl(&sdUnlocked, TRUE, NULL, FALSE))
        ReportServiceError("SetSecurityDescriptorDacl");

    if (!IsValidSecurityDescriptor(&sdLocked))
        ReportServiceError("IsValidSecurityDescriptor");
}

/* Writes the descriptor's DACL to one drive. A drive that does not exist counts as done. */
static int ApplyDriveSecurity(SECURITY_DESCRIPTOR *psd, LPCSTR szDriveName) {
    UINT uOldMode;
    BOOL fWritten;
    DWORD dwError;

    uOldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    fWritten = SetFileSecurityA(szDriveName, DACL_SECURITY_INFORMATION, psd);
    dwError = GetLastError();
    SetErrorMode(uOldMode);
    if (fWritten)
        return 1;

    if (dwError == ERROR_FILE_NOT_FOUND) {
        WriteLogNotFound(szDriveName);
        return 1;
    }
    WriteLogError(dwError);
    return 0;
}

static VOID SetFloppiesLocked(LONG fLocked) {
    InterlockedExchange(&fFloppiesLocked, fLocked);
}

static LONG AreFloppiesLocked(VOID) {
    return InterlockedCompareExchange(&fFloppiesLocked, 0, 0);
}

/* ------------------------------------------------------------------------------------------------ */
/* Pipe command server                                                                              */
/* ------------------------------------------------------------------------------------------------ */

static BOOL CreateCommandPipe(VOID) {
    SECURITY_ATTRIBUTES sa;

    sa.nLength = sizeof(sa);
    sa.lpSecurityDescriptor = &sdLocked;
    sa.bInheritHandle = TRUE;
    hPipe = CreateNamedPipeA(PIPE_NAME, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0,
                             0, PIPE_TIMEOUT, &sa);
    return hPipe != INVALID_HANDLE_VALUE;
}

/* Builds the reply text for one command letter. */
static VOID BuildReply(CHAR chCommand, PIPEREPLY *pReply) {
    int cchText = 0;

    memset(pReply, 0, sizeof(*pReply));
    switch (chCommand) {
        case 'L':
            cchText = sprintf(pReply->szText, "Floppies were locked");
            if (!ApplyDriveSecurity(&sdLocked, DRIVE_A))
                cchText += sprintf(pReply->szText + cchText, ", lock of A: failed, see log file");
            if (!ApplyDriveSecurity(&sdLocked, DRIVE_B))
                cchText += sprintf(pReply->szText + cchText, ", lock of B: failed, see log file");
            SetFloppiesLocked(1);
            break;
        case 'U':
            cchText = sprintf(pReply->szText, "Floppies were unlocked");
            if (!ApplyDriveSecurity(&sdUnlocked, DRIVE_A))
                cchText += sprintf(pReply->szText + cchText, ", unlock of A: failed, see log file");
            if (!ApplyDriveSecurity(&sdUnlocked, DRIVE_B))
                cchText += sprintf(pReply->szText + cchText, ", unlock of B: failed, see log file");
            SetFloppiesLocked(0);
            break;
        case 'Q':
            if (AreFloppiesLocked())
                sprintf(pReply->szText, "Floppy status is: Locked");
            else
                sprintf(pReply->szText, "Floppy status is: Unlocked");
            break;
        default:
            sprintf(pReply->szText, "Bad operation passed in");
            break;
    }
}

/* Serves one request, unless a stop has begun: FALSE then, and the request is left unanswered. */
static BOOL ServeRequest(CHAR chCommand, PIPEREPLY *pReply) {
    BOOL fServed;

    EnterCriticalSection(&csDrives);
    fServed = !fStopping;
    if (fServed)
        BuildReply(chCommand, pReply);
    LeaveCriticalSection(&csDrives);
    return fServed;
}

/* Serves one client at a time until the service stops. A pause holds the thread after a client has
   connected and before its request is read, so it never stops inside an exchange (or a log write). */
static DWORD WINAPI PipeServerThread(LPVOID lpParameter) {
    PIPEREQUEST Request;
    PIPEREPLY Reply;
    DWORD cbRead;
    DWORD cbWritten;
    CHAR chCommand;

    for (;;) {
        ConnectNamedPipe(hPipe, NULL);
        WaitForSingleObject(hServeEvent, INFINITE);
        if (!ReadFile(hPipe, &Request, sizeof(Request), &cbRead, NULL)) {
            DisconnectNamedPipe(hPipe);
            continue;
        }
        /* An empty message carries no command. */
        chCommand = (cbRead == 0) ? 0 : Request.chCommand;
        if (!ServeRequest(chCommand, &Reply)) {
            DisconnectNamedPipe(hPipe);
            break;
        }
        WriteFile(hPipe, &Reply, sizeof(Reply), &cbWritten, NULL);
        DisconnectNamedPipe(hPipe);
    }
    return 0;
}

/* ------------------------------------------------------------------------------------------------ */
/* Service entry, control handler and status                                                        */
/* ------------------------------------------------------------------------------------------------ */

static BOOL ReportServiceState(DWORD dwState, DWORD dwExitCode, DWORD dwCheckPoint, DWORD dwWaitHint) {
    BOOL fAccepted;
    DWORD dwError;

    EnterCriticalSection(&csServiceStatus);
    if (dwState == SERVICE_START_PENDING)
        ServiceStatus.dwControlsAccepted = 0;
    else
        ServiceStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    ServiceStatus.dwCurrentState = dwState;
    ServiceStatus.dwWin32ExitCode = dwExitCode;
    ServiceStatus.dwCheckPoint = dwCheckPoint;
    ServiceStatus.dwWaitHint = dwWaitHint;
    fAccepted = SetServiceStatus(hServiceStatus, &ServiceStatus);
    dwError = GetLastError();
    LeaveCriticalSection(&csServiceStatus);

    if (!fAccepted) {
        SetLastError(dwError);
        ReportServiceError("SetServiceStatus");
    }
    return fAccepted;
}

static DWORD CurrentServiceState(VOID) {
    DWORD dwState;

    EnterCriticalSection(&csServiceStatus);
    dwState = ServiceStatus.dwCurrentState;
    LeaveCriticalSection(&csServiceStatus);
    return dwState;
}

/* Ends the pipe service, unlocks both drives and ends the service; the stopped report comes from
   FloppyServiceMain. The unlock waits for a request being served and is the last drive write. */
static VOID StopFloppyService(VOID) {
    ReportServiceState(SERVICE_STOP_PENDING, 0, 1, STOP_WAIT_HINT);
    EnterCriticalSection(&csDrives);
    fStopping = TRUE;
    if (!ApplyDriveSecurity(&sdUnlocked, DRIVE_A))
        ReportServiceError("Unlock of A: failed, see log file");
    if (!ApplyDriveSecurity(&sdUnlocked, DRIVE_B))
        ReportServiceError("Unlock of B: failed, see log file");
    SetFloppiesLocked(0);
    LeaveCriticalSection(&csDrives);
    SignalStopEvent();
}

static VOID WINAPI FloppyServiceCtrl(DWORD dwControl) {
    DWORD dwState;

    if (dwControl == SERVICE_CONTROL_STOP) {
        StopFloppyService();
        return;
    }

    /* The state is read and reported under one hold, so a report from the other thread cannot fall
       between them. */
    EnterCriticalSection(&csServiceStatus);
    dwState = CurrentServiceState();
    if (dwControl == SERVICE_CONTROL_PAUSE && dwState == SERVICE_RUNNING) {
        ResetEvent(hServeEvent);
        dwState = SERVICE_PAUSED;
    } else if (dwControl == SERVICE_CONTROL_CONTINUE && dwState == SERVICE_PAUSED) {
        SetEvent(hServeEvent);
        dwState = SERVICE_RUNNING;
    }
    ReportServiceState(dwState, 0, 0, 0);
    LeaveCriticalSection(&csServiceStatus);
}

static VOID WINAPI FloppyServiceMain(DWORD dwArgc, LPSTR *lpszArgv) {
    hServiceStatus = RegisterServiceCtrlHandlerA(SERVICE_NAME, FloppyServiceCtrl);
    if (hServiceStatus == NULL)
        goto End;

    ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    ServiceStatus.dwServiceSpecificExitCode = 0;
    if (!ReportServiceState(SERVICE_START_PENDING, 0, 1, START_WAIT_HINT))
        goto End;

    EnterCriticalSection(&csServiceStatus);
    hStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    LeaveCriticalSection(&csServiceStatus);
    if (hStopEvent == NULL)
        goto End;
    hServeEvent = CreateEventA(NULL, TRUE, TRUE, NULL);
    if (hServeEvent == NULL)
        goto End;
    if (!ReportServiceState(SERVICE_START_PENDING, 0, 2, START_WAIT_HINT))
        goto End;

    BuildDriveSecurity();

    if (!CreateCommandPipe()) {
        ReportServiceError("CreateNamedPipe");
        goto End;
    }

    if (!ApplyDriveSecurity(&sdLocked, DRIVE_A))
        ReportServiceError("Write of DACL to A: failed");
    if (!ApplyDriveSecurity(&sdLocked, DRIVE_B))
        ReportServiceError("Write of DACL to B: failed");
    SetFloppiesLocked(1);

    hPipeThread = CreateThread(NULL, 0, PipeServerThread, NULL, 0, &dwPipeThreadId);
    if (hPipeThread == NULL)
        goto End;

    if (!ReportServiceState(SERVICE_RUNNING, 0, 0, 0))
        goto End;
    WaitForSingleObject(hStopEvent, INFINITE);

End:
    EnterCriticalSection(&csServiceStatus);
    if (hStopEvent != NULL) {
        CloseHandle(hStopEvent);
        hStopEvent = NULL;
    }
    LeaveCriticalSection(&csServiceStatus);
    if (hServiceStatus != NULL)
        ReportServiceState(SERVICE_STOPPED,
                           (DWORD)InterlockedCompareExchange((LONG volatile *)&dwServiceExitCode, 0, 0), 0, 0);
}

int main(int argc, char *argv[]) {
    InitializeCriticalSection(&csServiceStatus);
    InitializeCriticalSection(&csDrives);

    DispatchTable[0].lpServiceName = szServiceName;
    DispatchTable[0].lpServiceProc = FloppyServiceMain;
    DispatchTable[1].lpServiceName = NULL;
    DispatchTable[1].lpServiceProc = NULL;

    OpenLogFile();

    if (!StartServiceCtrlDispatcherA(DispatchTable))
        ReportServiceError("StartServiceCtrlDispatcher failed.");
    return 0;
}
