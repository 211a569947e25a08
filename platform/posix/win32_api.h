// The operating-system contract on POSIX: the subset of the Win32 API that the
// runtime and both programs call, declared with Windows' own names, types and
// constants, and implemented in platform/posix/*.cpp on top of POSIX.
//
// Nothing here may include a system header: the programs see only this file.
#ifndef PLATFORM_POSIX_WIN32_API_H
#define PLATFORM_POSIX_WIN32_API_H

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define NTAPI

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef char CHAR;
typedef uint16_t WCHAR;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* HLOCAL;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef DWORD* LPDWORD;
typedef BOOL* LPBOOL;
typedef uintptr_t SIZE_T;
typedef intptr_t (*FARPROC)(void);

#define TRUE 1
#define FALSE 0

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

// A time zone's rules as Windows keeps them (only passed on here: the POSIX
// layer knows the zone of the process alone).
typedef struct _TIME_ZONE_INFORMATION {
  LONG Bias;
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
} TIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

#define MAX_LEADBYTES 12
#define MAX_DEFAULTCHAR 2
typedef struct _cpinfoexA {
  UINT MaxCharSize;
  BYTE DefaultChar[MAX_DEFAULTCHAR];
  BYTE LeadByte[MAX_LEADBYTES];
  WCHAR UnicodeDefaultChar;
  UINT CodePage;
  CHAR CodePageName[260];
} CPINFOEXA, *LPCPINFOEXA;
// What GetSystemInfo tells (the one field the programs read).
typedef struct _SYSTEM_INFO {
  DWORD dwNumberOfProcessors;
} SYSTEM_INFO, *LPSYSTEM_INFO;

typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)

// Standard handles.
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

// Access rights.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u
#define DELETE 0x00010000u

// Sharing: a handle that keeps writers out takes an advisory lock (see
// share_lock.h); every other combination is accepted as it is.
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u

// Creation dispositions.
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

// Attributes and flags.
#define FILE_ATTRIBUTE_READONLY 0x1u
#define FILE_ATTRIBUTE_HIDDEN 0x2u
#define FILE_ATTRIBUTE_SYSTEM 0x4u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE 0x20u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400u
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u

// Moving files.
#define MOVEFILE_WRITE_THROUGH 0x8u

// File types.
#define FILE_TYPE_UNKNOWN 0
#define FILE_TYPE_DISK 1
#define FILE_TYPE_CHAR 2
#define FILE_TYPE_PIPE 3
#define FILE_TYPE_REMOTE 0x8000

// File pointer.
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// Console modes.
#define ENABLE_PROCESSED_INPUT 0x1u
#define ENABLE_LINE_INPUT 0x2u
#define ENABLE_ECHO_INPUT 0x4u
#define ENABLE_WINDOW_INPUT 0x8u

// Code pages.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x1u
#define MB_COMPOSITE 0x2u
#define MB_USEGLYPHCHARS 0x4u
#define MB_ERR_INVALID_CHARS 0x8u
#define WC_DISCARDNS 0x10u
#define WC_SEPCHARS 0x20u
#define WC_DEFAULTCHAR 0x40u
#define WC_ERR_INVALID_CHARS 0x80u
#define WC_COMPOSITECHECK 0x200u
#define WC_NO_BEST_FIT_CHARS 0x400u

// Messages.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000u

// File mappings.
#define PAGE_READONLY 0x02u
#define FILE_MAP_READ 0x0004u

// Waiting.
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u

// Error codes (the ones this layer produces).
#define ERROR_SUCCESS 0
#define NO_ERROR 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_OUTOFMEMORY 14
#define ERROR_WRITE_PROTECT 19
#define ERROR_NOT_READY 21
#define ERROR_BAD_LENGTH 24
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_LOCK_VIOLATION 33
#define ERROR_HANDLE_EOF 38
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BROKEN_PIPE 109
#define ERROR_DISK_FULL 112
#define ERROR_CALL_NOT_IMPLEMENTED 120
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_NEGATIVE_SEEK 131
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_BUSY 170
#define ERROR_ALREADY_EXISTS 183
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_DIRECTORY 267
#define ERROR_TOO_MANY_POSTS 298
#define ERROR_INVALID_ADDRESS 487
#define ERROR_OPERATION_ABORTED 995
#define ERROR_INVALID_FLAGS 1004
#define ERROR_FILE_INVALID 1006
#define ERROR_NO_UNICODE_TRANSLATION 1113
#define ERROR_CANT_RESOLVE_FILENAME 1921
#define ERROR_NOT_A_REPARSE_POINT 4390

#ifdef __cplusplus
extern "C" {
#endif

// Process heap.
HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
HLOCAL LocalFree(HLOCAL block);

// Process.
LPSTR GetCommandLineA(void);
__attribute__((noreturn)) void ExitProcess(UINT code);
DWORD GetLastError(void);
void SetLastError(DWORD code);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPSTR buffer,
                     DWORD size, void* arguments);
HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

// Handles and files.
HANDLE GetStdHandle(DWORD which);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileType(HANDLE file);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templ);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templ);
DWORD GetFileSize(HANDLE file, LPDWORD high);
DWORD GetFileAttributesA(LPCSTR name);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER position, DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
HANDLE ReOpenFile(HANDLE original, DWORD access, DWORD share, DWORD flags);
BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags);
BOOL DeleteFileA(LPCSTR name);
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD high,
                          DWORD low, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD high, DWORD low, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID address);
void SetFileApisToOEM(void);
void SetFileApisToANSI(void);

// Threads and semaphores.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD id);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD code);
HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCSTR name);
BOOL ReleaseSemaphore(HANDLE semaphore, LONG count, LONG* previous);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// The processors the process may run on.
void GetSystemInfo(LPSYSTEM_INFO info);

// Console.
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL SetConsoleMode(HANDLE console, DWORD mode);
BOOL ReadConsoleA(HANDLE console, LPVOID buffer, DWORD length, LPDWORD read, LPVOID control);
UINT GetConsoleCP(void);

// Time.
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write);
void GetSystemTime(LPSYSTEMTIME time);
BOOL SystemTimeToFileTime(const SYSTEMTIME* system, LPFILETIME file);
BOOL FileTimeToSystemTime(const FILETIME* file, LPSYSTEMTIME system);
BOOL FileTimeToLocalFileTime(const FILETIME* utc, LPFILETIME local);
BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc);
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* utc,
                                     LPSYSTEMTIME local);
BOOL FileTimeToDosDateTime(const FILETIME* time, WORD* date, WORD* dostime);
BOOL DosDateTimeToFileTime(WORD date, WORD dostime, LPFILETIME time);

// Code pages.
UINT GetACP(void);
UINT GetOEMCP(void);
int MultiByteToWideChar(UINT codepage, DWORD flags, LPCSTR source, int count, LPWSTR dest,
                        int room);
int WideCharToMultiByte(UINT codepage, DWORD flags, LPCWSTR source, int count, LPSTR dest, int room,
                        LPCSTR default_char, LPBOOL used_default);
BOOL CharToOemA(LPCSTR source, LPSTR dest);
BOOL GetCPInfoExA(UINT codepage, DWORD flags, LPCPINFOEXA info);
BOOL IsValidCodePage(UINT codepage);

#ifdef __cplusplus
}
#endif

#endif
