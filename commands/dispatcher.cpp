/*
 * The command dispatcher.  Every command first looks up the player's main window, whatever the
 * number, so a player started or closed between two key presses is always seen as it is now.
 * Player commands become posted window messages; nothing is sent (a hung player must never
 * block the window thread) and nothing is retried.
 *
 * Suspending goes through SetSystemPowerState, which old systems lack and which needs the
 * shutdown privilege; it and the token calls of ADVAPI32 are resolved at run time, so the
 * program still loads where they are missing and imports nothing from ADVAPI32.
 *
 * The numbers themselves are in command_numbers.h, which remote-send reads too.
 */
#include "dispatcher.h"

#include "command_numbers.h"

/* A left double-click at client point x = 32, y = 4, with no key or button flags. */
#define DOUBLE_CLICK_POINT 0x00040020

/* The command id that 21594 posts before its two double-clicks. */
#define DOUBLE_CLICKS_COMMAND_ID 40036

/* Signatures of the calls resolved at run time. */
typedef BOOL(WINAPI *SetSystemPowerStateCall)(BOOL suspend, BOOL force);
typedef BOOL(WINAPI *OpenProcessTokenCall)(HANDLE process, DWORD access, HANDLE *token);
typedef BOOL(WINAPI *LookupPrivilegeValueACall)(LPCSTR system, LPCSTR name, LUID *luid);
typedef BOOL(WINAPI *AdjustTokenPrivilegesCall)(HANDLE token, BOOL disableAll,
                                                TOKEN_PRIVILEGES *newState, DWORD bufferLength,
                                                TOKEN_PRIVILEGES *previousState,
                                                DWORD *returnLength);

/* GetProcAddress hands every export out under one generic type; going through the untyped
   void(void) pointer tells the compiler the conversion to the real signature is intended. */
#define RESOLVE(type, module, name) \
    reinterpret_cast<type>(reinterpret_cast<void (*)(void)>(GetProcAddress((module), (name))))

int PostPlayerMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam)
{
    if (window == NULL)
        return 1;
    return PostMessageA(window, message, wParam, lParam) ? 0 : 1;
}

int PostPlayerCommand(HWND window, unsigned id)
{
    return PostPlayerMessage(window, WM_COMMAND, id, 0);
}

/* Enables the shutdown privilege in the process token with the calls of `advapi`.  TRUE only
   when the privilege is now enabled: AdjustTokenPrivileges also succeeds when the token does not
   hold the privilege at all, and says so only through ERROR_NOT_ALL_ASSIGNED. */
static BOOL EnableShutdownPrivilegeWith(HMODULE advapi)
{
    OpenProcessTokenCall openProcessToken =
        RESOLVE(OpenProcessTokenCall, advapi, "OpenProcessToken");
    LookupPrivilegeValueACall lookupPrivilegeValue =
        RESOLVE(LookupPrivilegeValueACall, advapi, "LookupPrivilegeValueA");
    AdjustTokenPrivilegesCall adjustTokenPrivileges =
        RESOLVE(AdjustTokenPrivilegesCall, advapi, "AdjustTokenPrivileges");
    if (openProcessToken == NULL || lookupPrivilegeValue == NULL || adjustTokenPrivileges == NULL)
        return FALSE;

    HANDLE token = NULL;
    if (!openProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return FALSE;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    BOOL enabled = lookupPrivilegeValue(NULL, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
                   adjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL) &&
                   GetLastError() != ERROR_NOT_ALL_ASSIGNED;
    CloseHandle(token);
    return enabled;
}

/* ADVAPI32 is loaded for this one request and freed after it. */
static BOOL EnableShutdownPrivilege(void)
{
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    if (advapi == NULL)
        return FALSE;
    BOOL enabled = EnableShutdownPrivilegeWith(advapi);
    FreeLibrary(advapi);
    return enabled;
}

/* Asks the system to suspend (not forced).  Refused for want of the shutdown privilege, it
   enables that privilege and asks once more; any other refusal is left as it is. */
static void SuspendMachine(void)
{
    SetSystemPowerStateCall setSystemPowerState = RESOLVE(
        SetSystemPowerStateCall, GetModuleHandleA("kernel32.dll"), "SetSystemPowerState");
    if (setSystemPowerState == NULL)
        return;
    if (setSystemPowerState(TRUE, FALSE) || GetLastError() != ERROR_PRIVILEGE_NOT_HELD)
        return;
    if (EnableShutdownPrivilege())
        setSystemPowerState(TRUE, FALSE);
}

void DispatchCommand(CommandNumber number)
{
    HWND player = FindWindowA(PLAYER_MAIN_CLASS, NULL);

    switch (number) {
    case COMMAND_CLOSE_OR_START:
        if (player != NULL)
            PostMessageA(player, WM_CLOSE, 0, 0);
        else
            WinExec(PLAYER_EXECUTABLE, SW_SHOWNORMAL);
        return;
    case COMMAND_LOG_OFF:
        ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFF);
        return;
    case COMMAND_SUSPEND:
        SuspendMachine();
        return;
    case COMMAND_ID_AND_DOUBLE_CLICKS:
        PostPlayerCommand(player, DOUBLE_CLICKS_COMMAND_ID);
        PostPlayerMessage(player, WM_LBUTTONDBLCLK, 0, DOUBLE_CLICK_POINT);
        /* The playlist window is looked up only now, just before its own post. */
        PostPlayerMessage(FindWindowA(PLAYER_PLAYLIST_CLASS, NULL), WM_LBUTTONDBLCLK, 0,
                          DOUBLE_CLICK_POINT);
        return;
    case COMMAND_USER_MESSAGE:
        PostPlayerMessage(player, WM_USER, 127, 122);
        return;
    }

    for (unsigned i = 0; i < PLAYER_COMMAND_COUNT; i++)
        if (PLAYER_COMMANDS[i].number == number) {
            PostPlayerCommand(player, PLAYER_COMMANDS[i].id);
            return;
        }
}
