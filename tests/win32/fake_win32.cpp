/*
 * The Win32 stand-in's calls: record, then answer from the script.  Kept deliberately dumb:
 * nothing here imitates Windows beyond what a test scripts, so a test states every answer the
 * code under test sees.  Files, events and threads are the exceptions (fake_win32.h): they are
 * the host's own, made to answer as Windows does where the tools depend on it.
 */
#include "fake_win32.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <type_traits>
#include <unistd.h>

namespace fake {

std::vector<Call> calls;
DCB commState;
DWORD modemStatus;
LONGLONG counter;
LONGLONG counterStep;
LONGLONG frequency;
thread_local DWORD lastError;
std::string commandLine;
std::string systemText;
std::vector<MSG> messageQueue;
std::map<std::string, FARPROC> exports;
bool realThreads;
std::set<HANDLE> consoles;
unsigned consoleWriteMax;
unsigned writeSizeBound;
std::function<bool()> beforeRead;
std::function<void()> duringCommWait;

static std::map<std::string, std::deque<intptr_t>> scripts;
/* The latest failing host call's errno, and the Windows error it was given as; under recordLock. */
static int hostErrno;
static DWORD hostErrnoAs;
static size_t messagesHandedOut;
/* Held while a call is recorded or a script read: with realThreads, several threads record. */
static std::recursive_mutex recordLock;

void Reset()
{
    std::lock_guard<std::recursive_mutex> hold(recordLock);
    calls.clear();
    scripts.clear();
    std::memset(&commState, 0, sizeof commState);
    modemStatus = 0;
    counter = 0;
    counterStep = 0;
    frequency = 10000000;
    lastError = 0;
    commandLine = "program.exe";
    systemText.clear();
    messageQueue.clear();
    messagesHandedOut = 0;
    exports.clear();
    realThreads = false;
    consoles.clear();
    consoleWriteMax = 16 * 1024;
    writeSizeBound = 0;
    beforeRead = nullptr;
    duringCommWait = nullptr;
    hostErrno = 0;
    hostErrnoAs = 0;
}

void Script(const char *name, std::initializer_list<intptr_t> results)
{
    std::lock_guard<std::recursive_mutex> hold(recordLock);
    for (intptr_t r : results)
        scripts[name].push_back(r);
}

uintptr_t Call::Arg(const std::string &argument) const
{
    std::string recorded;
    for (const Argument &a : args) {
        if (a.name == argument)
            return a.value;
        recorded += " " + a.name;
    }
    throw std::out_of_range(name + " records no argument '" + argument + "'; it records:" + recorded);
}

std::vector<Call> Named(const char *name)
{
    std::lock_guard<std::recursive_mutex> hold(recordLock);
    std::vector<Call> found;
    for (const Call &c : calls)
        if (c.name == name)
            found.push_back(c);
    return found;
}

std::string NamesExcept(std::initializer_list<const char *> skipped)
{
    std::lock_guard<std::recursive_mutex> hold(recordLock);
    std::string all;
    for (const Call &c : calls) {
        bool skip = false;
        for (const char *s : skipped)
            skip = skip || c.name == s;
        if (skip)
            continue;
        if (!all.empty())
            all += ' ';
        all += c.name;
    }
    return all;
}

std::string Names() { return NamesExcept({}); }

HWND Window(int n) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + n * 0x10)); }

/* Host files live at handles from here on; scripted handles stay far below. */
static const intptr_t FIRST_FILE_HANDLE = 0x10000;

HANDLE FileHandle(int fd) { return reinterpret_cast<HANDLE>(FIRST_FILE_HANDLE + fd); }

/* The host file descriptor behind a stand-in file handle, or -1. */
static int FileDescriptor(HANDLE handle)
{
    intptr_t value = reinterpret_cast<intptr_t>(handle);
    return value >= FIRST_FILE_HANDLE && value < FIRST_FILE_HANDLE + 0x10000 ? (int)(value - FIRST_FILE_HANDLE) : -1;
}

/* Records one call and returns its scripted answer, or `otherwise`. */
static intptr_t Record(const char *name, std::initializer_list<Argument> args, const char *text,
                       intptr_t otherwise)
{
    std::lock_guard<std::recursive_mutex> hold(recordLock);
    calls.push_back({name, args, text != nullptr ? text : ""});
    auto it = scripts.find(name);
    if (it == scripts.end() || it->second.empty())
        return otherwise;
    intptr_t r = it->second.front();
    it->second.pop_front();
    return r;
}

/* An argument as recorded: its name and its value as a number, be it a handle or an integer. */
template <typename T>
static Argument Named(const char *name, T value)
{
    if constexpr (std::is_pointer<T>::value)
        return {name, reinterpret_cast<uintptr_t>(value)};
    else
        return {name, static_cast<uintptr_t>(value)};
}

static HANDLE H(intptr_t v) { return reinterpret_cast<HANDLE>(v); }

static DWORD WindowsCode(int error);

/* The Windows error a failing host call's errno stands for; the errno is kept behind it, for
   FormatMessageA's text. */
static DWORD WindowsError(int error)
{
    std::lock_guard<std::recursive_mutex> hold(recordLock);
    hostErrno = error;
    hostErrnoAs = WindowsCode(error);
    return hostErrnoAs;
}

static DWORD WindowsCode(int error)
{
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case EPIPE:
        return ERROR_BROKEN_PIPE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

/* A host file opened through CreateFileA: which file, and how, for the share-mode checks. */
struct OpenFile {
    dev_t device;
    ino_t inode;
    DWORD access;
    DWORD share;
};
static std::map<int, OpenFile> openFiles;  // by descriptor; under recordLock

/* Whether `holder`'s share mode lets another handle have `access`. */
static bool Permits(const OpenFile &holder, DWORD access)
{
    return (!(access & GENERIC_READ) || (holder.share & FILE_SHARE_READ)) &&
           (!(access & GENERIC_WRITE) || (holder.share & FILE_SHARE_WRITE));
}

/* Whether a handle opened as `opened` may exist beside every other handle of its file. */
static bool SharingAllows(int fd, const OpenFile &opened)
{
    for (const auto &[otherFd, other] : openFiles)
        if (otherFd != fd && other.device == opened.device && other.inode == opened.inode &&
            !(Permits(other, opened.access) && Permits(opened, other.access)))
            return false;
    return true;
}

/* An auto-reset event, made by CreateEventA when threads run. */
struct Event {
    std::mutex lock;
    std::condition_variable set;
    bool signalled = false;
};
static std::set<HANDLE> events;  // under recordLock

static Event *EventOf(HANDLE handle)
{
    std::lock_guard<std::recursive_mutex> hold(recordLock);
    return events.count(handle) ? static_cast<Event *>(handle) : nullptr;
}

}  // namespace fake

/* A stand-in's argument, recorded under its parameter's own name. */
#define ARG(parameter) fake::Named(#parameter, parameter)

using fake::FileDescriptor;
using fake::H;
using fake::Named;
using fake::Record;

/* A host file, opened as `access` and `disposition` ask, and refused where Windows refuses it. */
static HANDLE OpenHostFile(LPCSTR name, DWORD access, DWORD share, DWORD disposition)
{
    int mode = !(access & GENERIC_WRITE) ? O_RDONLY : (access & GENERIC_READ) ? O_RDWR : O_WRONLY;
    if (disposition == CREATE_ALWAYS)
        mode |= O_CREAT | O_TRUNC;
    int fd = open(name, mode, 0666);
    if (fd < 0) {
        fake::lastError = fake::WindowsError(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat file;
    fstat(fd, &file);
    fake::OpenFile opened = {file.st_dev, file.st_ino, access, share};
    std::lock_guard<std::recursive_mutex> hold(fake::recordLock);
    if (S_ISDIR(file.st_mode) || !fake::SharingAllows(fd, opened)) {
        close(fd);
        fake::lastError = S_ISDIR(file.st_mode) ? fake::WindowsError(EISDIR) : ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    fake::openFiles[fd] = opened;
    return fake::FileHandle(fd);
}

/* Devices (\\.\COM1) answer from the script; any other name is a host file. */
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (std::strncmp(name, "\\\\.\\", 4) != 0)
        return OpenHostFile(name, access, share, disposition);
    return H(Record("CreateFileA",
                    {ARG(access), ARG(share), ARG(security), ARG(disposition), ARG(flags), ARG(templateFile)},
                    name, 0x100));
}

/* The host file's attributes: a directory, or a plain file. */
DWORD GetFileAttributesA(LPCSTR name)
{
    struct stat file;
    if (stat(name, &file) != 0) {
        fake::lastError = fake::WindowsError(errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(file.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL GetCommState(HANDLE file, LPDCB dcb)
{
    BOOL ok = (BOOL)Record("GetCommState", {ARG(file)}, nullptr, TRUE);
    if (ok)
        *dcb = fake::commState;
    return ok;
}

BOOL SetCommState(HANDLE file, LPDCB dcb)
{
    BOOL ok = (BOOL)Record("SetCommState", {ARG(file)}, nullptr, TRUE);
    if (ok)
        fake::commState = *dcb;
    return ok;
}

BOOL SetCommMask(HANDLE file, DWORD mask) { return (BOOL)Record("SetCommMask", {ARG(file), ARG(mask)}, nullptr, TRUE); }

BOOL WaitCommEvent(HANDLE file, LPDWORD mask, LPOVERLAPPED overlapped)
{
    *mask = EV_RLSD;
    BOOL ok = (BOOL)Record("WaitCommEvent", {ARG(file), ARG(mask), ARG(overlapped)}, nullptr, TRUE);
    if (fake::duringCommWait)
        fake::duringCommWait();
    return ok;
}

BOOL GetCommModemStatus(HANDLE file, LPDWORD status)
{
    BOOL ok = (BOOL)Record("GetCommModemStatus", {ARG(file)}, nullptr, TRUE);
    if (ok)
        *status = fake::modemStatus;
    return ok;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER *count)
{
    fake::counter += fake::counterStep;
    count->QuadPart = fake::counter;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency)
{
    frequency->QuadPart = fake::frequency;
    return TRUE;
}

/* Like Windows 95, 98 and Me, refuses to create a thread without a place for its id. */
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD id)
{
    HANDLE thread = H(Record("CreateThread",
                             {ARG(security), ARG(stackSize), ARG(start), ARG(parameter), ARG(flags), ARG(id)},
                             nullptr, 0x200));
    if (id == nullptr) {
        fake::lastError = ERROR_INVALID_PARAMETER;
        return NULL;
    }
    *id = 0x2A;
    if (fake::realThreads)
        std::thread([start, parameter] { start(parameter); }).detach();
    return thread;
}

BOOL TerminateThread(HANDLE thread, DWORD exitCode)
{
    return (BOOL)Record("TerminateThread", {ARG(thread), ARG(exitCode)}, nullptr, TRUE);
}

/* Waits on the stand-in's own events for real; anything else answers from the script. */
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    if (fake::Event *event = fake::EventOf(object)) {
        std::unique_lock<std::mutex> hold(event->lock);
        auto isSet = [event] { return event->signalled; };
        if (milliseconds == INFINITE)
            event->set.wait(hold, isSet);
        else if (!event->set.wait_for(hold, std::chrono::milliseconds(milliseconds), isSet))
            return WAIT_TIMEOUT;
        event->signalled = false;
        return WAIT_OBJECT_0;
    }
    return (DWORD)Record("WaitForSingleObject", {ARG(object), ARG(milliseconds)}, nullptr, WAIT_OBJECT_0);
}

BOOL CloseHandle(HANDLE object)
{
    if (FileDescriptor(object) >= 0) {
        std::lock_guard<std::recursive_mutex> hold(fake::recordLock);
        fake::openFiles.erase(FileDescriptor(object));
        return close(FileDescriptor(object)) == 0;
    }
    if (fake::Event *event = fake::EventOf(object)) {
        std::lock_guard<std::recursive_mutex> hold(fake::recordLock);
        fake::events.erase(object);
        delete event;
        return TRUE;
    }
    return (BOOL)Record("CloseHandle", {ARG(object)}, nullptr, TRUE);
}

HANDLE GetStdHandle(DWORD which)
{
    if (which == STD_OUTPUT_HANDLE)
        return fake::FileHandle(STDOUT_FILENO);
    if (which == STD_ERROR_HANDLE)
        return fake::FileHandle(STDERR_FILENO);
    return fake::FileHandle(STDIN_FILENO);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    (void)overlapped;
    *read = 0;
    if (fake::beforeRead && !fake::beforeRead())
        return FALSE;
    ssize_t got = ::read(FileDescriptor(file), buffer, size);
    if (got < 0)
        fake::lastError = fake::WindowsError(errno);
    *read = got > 0 ? (DWORD)got : 0;
    return got >= 0;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    (void)overlapped;
    *written = 0;
    if (fake::writeSizeBound > 0 && size > fake::writeSizeBound) {
        fake::lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (size > fake::consoleWriteMax && fake::consoles.count(file) > 0) {
        fake::lastError = ERROR_NOT_ENOUGH_MEMORY;
        return FALSE;
    }
    ssize_t put = ::write(FileDescriptor(file), buffer, size);
    if (put < 0)
        fake::lastError = fake::WindowsError(errno);
    *written = put > 0 ? (DWORD)put : 0;
    return put >= 0;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method)
{
    (void)distanceHigh;
    off_t at = lseek(FileDescriptor(file), distance, method == FILE_BEGIN ? SEEK_SET : SEEK_CUR);
    return at < 0 ? INVALID_SET_FILE_POINTER : (DWORD)at;
}

/* At once, as Windows ends every thread: no exit handlers run while other threads still work. */
void ExitProcess(UINT exitCode)
{
    std::fflush(nullptr);
    _exit((int)exitCode);
}

/* An auto-reset event when threads run (manual reset is not needed by the code under test). */
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    (void)security;
    (void)manualReset;
    (void)name;
    if (!fake::realThreads)
        return NULL;
    fake::Event *event = new fake::Event;
    event->signalled = initialState;
    std::lock_guard<std::recursive_mutex> hold(fake::recordLock);
    fake::events.insert(event);
    return event;
}

BOOL SetEvent(HANDLE handle)
{
    fake::Event *event = fake::EventOf(handle);
    if (event == nullptr)
        return FALSE;
    std::lock_guard<std::mutex> hold(event->lock);
    event->signalled = true;
    event->set.notify_one();
    return TRUE;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) { section->mutex = new std::recursive_mutex; }

void EnterCriticalSection(LPCRITICAL_SECTION section) { static_cast<std::recursive_mutex *>(section->mutex)->lock(); }

void LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    static_cast<std::recursive_mutex *>(section->mutex)->unlock();
}

BOOL SetThreadPriority(HANDLE thread, int priority)
{
    return (BOOL)Record("SetThreadPriority", {ARG(thread), ARG(priority)}, nullptr, TRUE);
}

HANDLE GetCurrentThread(void) { return H(-2); }
HANDLE GetCurrentProcess(void) { return H(-1); }

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass)
{
    return (BOOL)Record("SetPriorityClass", {ARG(process), ARG(priorityClass)}, nullptr, TRUE);
}

HMODULE GetModuleHandleA(LPCSTR name)
{
    return (HMODULE)Record("GetModuleHandleA", {ARG(name)}, name, 0x400000);
}

HMODULE LoadLibraryA(LPCSTR name) { return (HMODULE)Record("LoadLibraryA", {}, name, 0x500000); }

BOOL FreeLibrary(HMODULE module) { return (BOOL)Record("FreeLibrary", {ARG(module)}, nullptr, TRUE); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    auto found = fake::exports.find(name);
    intptr_t exported = found == fake::exports.end() ? 0 : reinterpret_cast<intptr_t>(found->second);
    return (FARPROC)Record("GetProcAddress", {ARG(module)}, name, exported);
}

LPSTR lstrcpyA(LPSTR to, LPCSTR from)
{
    Record("lstrcpyA", {ARG(to)}, from, 0);
    return std::strcpy(to, from);
}

UINT WinExec(LPCSTR commandLine, UINT show) { return (UINT)Record("WinExec", {ARG(show)}, commandLine, 33); }

DWORD GetLastError(void) { return fake::lastError; }

void OutputDebugStringA(LPCSTR text) { Record("OutputDebugStringA", {}, text, 0); }

/* Pure formatting, so not recorded; Windows' own stops at 1024 characters. */
int wvsprintfA(LPSTR out, LPCSTR format, va_list arguments)
{
    int written = std::vsnprintf(out, 1025, format, arguments);
    return written < 1024 ? written : 1024;
}

int wsprintfA(LPSTR out, LPCSTR format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int written = wvsprintfA(out, format, arguments);
    va_end(arguments);
    return written;
}

void Sleep(DWORD milliseconds)
{
    Record("Sleep", {ARG(milliseconds)}, nullptr, 0);
    if (milliseconds == INFINITE)
        throw fake::Parked();
    if (fake::realThreads)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

LPSTR GetCommandLineA(void) { return &fake::commandLine[0]; }

/* The system's text for an error, ending in CR LF as Windows gives it: systemText when a test set
   one; the C library's text for the errno behind the error when a failing host call gave it;
   else a sentence of the stand-in's own for an error a test scripted. */
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list *arguments)
{
    DWORD length = (DWORD)Record("FormatMessageA",
                                 {ARG(flags), ARG(source), ARG(messageId), ARG(languageId), ARG(size), ARG(arguments)},
                                 nullptr, -1);
    if (length == 0)
        return 0;
    int behind;
    {
        std::lock_guard<std::recursive_mutex> hold(fake::recordLock);
        behind = fake::hostErrno != 0 && fake::hostErrnoAs == messageId ? fake::hostErrno : 0;
    }
    int written = !fake::systemText.empty() ? std::snprintf(buffer, size, "%s", fake::systemText.c_str())
                  : behind != 0             ? std::snprintf(buffer, size, "%s\r\n", std::strerror(behind))
                                            : std::snprintf(buffer, size, "System text of error %u.\r\n", (unsigned)messageId);
    return written < 0 || (DWORD)written >= size ? 0 : (DWORD)written;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add)
{
    return (BOOL)Record("SetConsoleCtrlHandler", {ARG(routine), ARG(add)}, nullptr, TRUE);
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode)
{
    bool isConsole = fake::consoles.count(console) > 0;
    *mode = isConsole ? 3 : 0;
    return (BOOL)Record("GetConsoleMode", {ARG(console)}, nullptr, isConsole);
}

/* A few letters of the ANSI code page 1252 in the OEM code page 850, enough to see the change. */
BOOL CharToOemA(LPCSTR from, LPSTR to)
{
    static const unsigned char ansi[] = {0xE9, 0xE8, 0xE4, 0xF6, 0xFC, 0xDF};
    static const unsigned char oem[] = {0x82, 0x8A, 0x84, 0x94, 0x81, 0xE1};
    Record("CharToOemA", {ARG(to)}, from, TRUE);
    for (; *from != '\0'; from++, to++) {
        unsigned char c = static_cast<unsigned char>(*from);
        for (size_t i = 0; i < sizeof ansi; i++)
            if (c == ansi[i])
                c = oem[i];
        *to = static_cast<char>(c);
    }
    *to = '\0';
    return TRUE;
}

WORD RegisterClassA(const WNDCLASSA *c)
{
    return (WORD)Record("RegisterClassA",
                        {Named("style", c->style), Named("windowProc", c->lpfnWndProc),
                         Named("classExtra", c->cbClsExtra), Named("windowExtra", c->cbWndExtra),
                         Named("instance", c->hInstance), Named("background", c->hbrBackground)},
                        c->lpszClassName, 0xC001);
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    std::string text = std::string(className) + "|" + title;
    return (HWND)Record("CreateWindowExA",
                        {ARG(exStyle), ARG(style), ARG(x), ARG(y), ARG(width), ARG(height), ARG(parent), ARG(menu),
                         ARG(instance), ARG(param)},
                        text.c_str(), reinterpret_cast<intptr_t>(fake::Window(0)));
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT first, UINT last)
{
    BOOL result = (BOOL)Record("GetMessageA", {ARG(window), ARG(first), ARG(last)}, nullptr, -2);
    if (result != -2)
        return result;  // a scripted answer (an error, say) wins over the queue
    if (fake::messagesHandedOut < fake::messageQueue.size()) {
        *msg = fake::messageQueue[fake::messagesHandedOut++];
        return msg->message != WM_QUIT;
    }
    msg->message = WM_QUIT;
    msg->wParam = 0;
    return FALSE;
}

LRESULT DispatchMessageA(const MSG *msg)
{
    return Record("DispatchMessageA",
                  {Named("window", msg->hwnd), Named("message", msg->message), Named("wParam", msg->wParam),
                   Named("lParam", msg->lParam)},
                  nullptr, 0);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Record("DefWindowProcA", {ARG(window), ARG(message), ARG(wParam), ARG(lParam)}, nullptr, 0x77);
}

void PostQuitMessage(int exitCode) { Record("PostQuitMessage", {ARG(exitCode)}, nullptr, 0); }

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback)
{
    return (UINT_PTR)Record("SetTimer", {ARG(window), ARG(id), ARG(milliseconds), ARG(callback)}, nullptr, 1);
}

BOOL KillTimer(HWND window, UINT_PTR id) { return (BOOL)Record("KillTimer", {ARG(window), ARG(id)}, nullptr, TRUE); }

HICON LoadIconA(HINSTANCE instance, LPCSTR name)
{
    return (HICON)Record("LoadIconA", {ARG(instance), ARG(name)}, nullptr, 0x600 + reinterpret_cast<intptr_t>(name));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    return (HCURSOR)Record("LoadCursorA", {ARG(instance), ARG(name)}, nullptr, 0x700);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    std::string both = std::string(text) + "|" + caption;
    return (int)Record("MessageBoxA", {ARG(owner), ARG(style)}, both.c_str(), IDNO);
}

HWND FindWindowA(LPCSTR className, LPCSTR title)
{
    return (HWND)Record("FindWindowA", {ARG(title)}, className, 0);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return (BOOL)Record("PostMessageA", {ARG(window), ARG(message), ARG(wParam), ARG(lParam)}, nullptr, TRUE);
}

BOOL ExitWindowsEx(UINT flags, DWORD reason)
{
    return (BOOL)Record("ExitWindowsEx", {ARG(flags), ARG(reason)}, nullptr, TRUE);
}

HGDIOBJ GetStockObject(int object) { return (HGDIOBJ)Record("GetStockObject", {ARG(object)}, nullptr, 0x800); }

BOOL Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA d)
{
    return (BOOL)Record("Shell_NotifyIconA",
                        {ARG(message), Named("window", d->hWnd), Named("id", d->uID), Named("flags", d->uFlags),
                         Named("callbackMessage", d->uCallbackMessage), Named("icon", d->hIcon),
                         Named("size", d->cbSize)},
                        d->szTip, TRUE);
}
