// declares: Plain MultiLine Variadic TakesCallback Spaced Bracketed AfterBlock EntryPoint
// The cases the extractor of cmake/DeclaredApi.cmake must get right; its test reads the first line.
// clang-format off
#define WINAPI_IN_A_MACRO(x) WINAPI NotAFunction(x)
#define CONTINUED(a, b) \
    WINAPI AlsoNotAFunction(a, b)
typedef int(WINAPI *PointerType)(int);
typedef void(CALLBACK *CallbackType)(int, int);
struct Record {
    void(CALLBACK *member)(struct Record *);
    char buffer[8];
};
/* WINAPI InAComment(void); */
// WINAPI InALineComment(void);
WINBASEAPI int WINAPI Plain(int a);
#ifdef __cplusplus
extern "C"
#endif
    unsigned char WINAPI
    MultiLine(struct Record *record);
WINUSERAPI int WINAPIV Variadic(char *out, const char *format, ...);
WINUSERAPI int WINAPI TakesCallback(int (CALLBACK *callback)(int), PointerType other);
WINUSERAPI int WINAPI Spaced (int a);
WINUSERAPI int WINAPI Bracketed(char name[16]); /* a comment
   WINAPI SpanningLines(void); */ WINUSERAPI int WINAPI AfterBlock(void);
int APIENTRY EntryPoint(int argc);
inline int NotDeclaredWithAConvention(int a) { return a; }
