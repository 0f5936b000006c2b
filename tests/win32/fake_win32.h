/*
 * Test-side control of the Win32 stand-in.  Every stand-in call appends a Call to `calls`
 * (its name, its integer and handle arguments, each under its parameter's name, and its string
 * argument where it has one), then answers with the next scripted result for that name, or with
 * its default when none is left.  A test reads an argument by that name: Arg("icon").
 *
 * Files are the host's own and are not recorded: CreateFileA of a name that is not a device
 * (\\.\COM1) opens the host file, GetStdHandle gives the host's standard output and error, and
 * ReadFile, WriteFile, SetFilePointer and CloseHandle work on them as on Windows: a directory is
 * refused, two opens of one file must allow each other's access through their share modes, and a
 * failing host call leaves the Windows error for its errno in GetLastError (a pipe whose reader
 * has gone gives ERROR_BROKEN_PIPE, as under Wine; EISDIR, EACCES and EPERM all give
 * ERROR_ACCESS_DENIED, as a directory opened as a file does on Windows).  The errno is kept
 * behind that error, so FormatMessageA gives the C library's text for it (strerror), where
 * Windows would give its own sentence.  GetFileAttributesA tells a directory from a file.  ExitProcess ends the host process with its
 * code at once, whatever other threads are doing.
 *
 * Threads run only when a test (or the host tool) sets realThreads: then CreateThread starts a
 * real thread, CreateEventA gives a real auto-reset event that SetEvent and WaitForSingleObject
 * work on, each thread has its own lastError, and a finite Sleep sleeps.  Otherwise CreateThread
 * only records, CreateEventA gives no event, so code that would hand work to a thread of its own
 * does it itself, and Sleep returns at once.  GetConsoleMode succeeds for the handles in
 * `consoles` only, and WriteFile refuses them a write of over `consoleWriteMax` (16 KiB) with
 * ERROR_NOT_ENOUGH_MEMORY, as consoles of NT 4.0 to Windows 7 may.
 *
 * Defaults are the quiet success of each call: handles are small distinct non-null values,
 * BOOL calls return TRUE, MessageBoxA answers IDNO, GetMessageA returns 0 (quit).
 */
#ifndef FAKE_WIN32_H
#define FAKE_WIN32_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct Argument {
    std::string name;  // the stand-in's parameter name, or the record field's (see fake_win32.cpp)
    uintptr_t value;
};

struct Call {
    std::string name;
    std::vector<Argument> args;
    std::string text;  // the call's string argument (class name, port name, message text ...)

    /* The argument recorded under `argument`; throws, naming those it has, when there is none. */
    uintptr_t Arg(const std::string &argument) const;
};

extern std::vector<Call> calls;

/* Port and counter state read by the serial calls and the performance counter. */
extern DCB commState;        // what GetCommState hands out; SetCommState stores into it
extern DWORD modemStatus;    // what GetCommModemStatus reports
extern LONGLONG counter;     // QueryPerformanceCounter value; advanced by counterStep per read
extern LONGLONG counterStep;
extern LONGLONG frequency;
extern thread_local DWORD lastError;  // GetLastError, the calling thread's
extern std::string commandLine;
/* FormatMessageA's text when not empty; else strerror's for the errno of the latest failing host
   call when that gave the error asked about; else one naming the error (a scripted error has no
   errno, so its text is the stand-in's own). */
extern std::string systemText;

/* Messages GetMessageA hands out, in order, before it answers 0. */
extern std::vector<MSG> messageQueue;

/* What GetProcAddress finds by procedure name when no script answers it (whatever the module);
   a name not here is not found.  Empty after Reset. */
extern std::map<std::string, FARPROC> exports;

/* Set before the code under test starts threads: see above.  Reset clears it. */
extern bool realThreads;

/* The handles GetConsoleMode takes for consoles; empty after Reset. */
extern std::set<HANDLE> consoles;
/* The largest write a console takes (16 KiB after Reset); a console short of its heap takes less. */
extern unsigned consoleWriteMax;
/* A test's bound on every write (0, none, after Reset): a larger one fails with
   ERROR_INVALID_PARAMETER, whatever the handle, so a tool that writes more fails loudly. */
extern unsigned writeSizeBound;

/* Runs before each read of a host file; a read it answers false fails, with the error it left
   in lastError.  Empty after Reset. */
extern std::function<bool()> beforeRead;

/* Runs in each WaitCommEvent before it returns, where a test moves modemStatus and the counter
   as a receiver would.  Empty after Reset. */
extern std::function<void()> duringCommWait;

/* Thrown by Sleep(INFINITE): a thread parked for good leaves the code under test this way. */
struct Parked {};

void Reset();
void Script(const char *name, std::initializer_list<intptr_t> results);
std::vector<Call> Named(const char *name);
std::string Names();  // every recorded call name, space separated, in order
std::string NamesExcept(std::initializer_list<const char *> skipped);

/* Fixed window handles tests can hand to FindWindowA scripts and compare posts against. */
HWND Window(int n);

/* The handle under which the stand-in's file calls reach the host's file descriptor `fd`. */
HANDLE FileHandle(int fd);

}  // namespace fake

#endif
