#include "integration/integration.h"
#include "unattended/log.h"
#include <strsafe.h>

#define UNINSTALL_COMMAND_CHARS 128
#define COMMAND_LINE_CHARS 260
#define SHELL_TIMEOUT_MS 10000

static const char groupName[] = "Kalyx Q70/Q90 Tools";

HDDEDATA CALLBACK DdeClientCallback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2)
{
    return 0;
}

void SendShellCommand(DWORD instance, HCONV conversation, const char *command)
{
    DWORD result = 0;
    if (!Act("group %s", command))
        return;
    HDDEDATA data = DdeCreateDataHandle(instance, (LPBYTE)command, lstrlenA(command) + 1, 0,
                                        0, CF_TEXT, 0);
    HDDEDATA answer = NULL;
    if (data)
        answer = DdeClientTransaction((LPBYTE)data, 0xFFFFFFFF, conversation, 0, 0, XTYP_EXECUTE,
                                      SHELL_TIMEOUT_MS, &result);
    ActDone(answer != NULL, DdeGetLastError(instance));
}

/* 0 when the instance could not be set up; the failure box has been shown then. */
static DWORD StartClient(void)
{
    DWORD instance = 0;
    if (DdeInitializeA(&instance, DdeClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        KxMessageBox(NULL, "DDEML Initialization Failure", "Error", MB_OK);
        return 0;
    }
    return instance;
}

/* Program Manager's service and topic share one name. NULL when no shell
 * answers: then nothing is sent, so a missing server costs no time-outs. */
static HCONV ConnectShell(DWORD instance)
{
    HSZ progman = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
    if (!progman)
        return NULL; /* a null service would connect to any server */
    HCONV conversation = DdeConnect(instance, progman, progman, NULL);
    DdeFreeStringHandle(instance, progman);
    if (!conversation)
        LogLine("group: no Program Manager service answered; nothing sent");
    return conversation;
}

/* A command that does not fit its buffer is left out rather than sent cut short. */
static void SendFormatted(DWORD instance, HCONV conversation, char *buffer, size_t chars,
                          const char *format, ...)
{
    va_list args;
    va_start(args, format);
    HRESULT hr = StringCchVPrintfA(buffer, chars, format, args);
    va_end(args);
    if (SUCCEEDED(hr))
        SendShellCommand(instance, conversation, buffer);
}

void CreateProgramGroup(const char *folder, int consoleFlag)
{
    DWORD instance = StartClient();
    if (!instance)
        return;

    HCONV conversation = ConnectShell(instance);
    if (conversation) {
        char command[KX_GROUP_COMMAND_CHARS];
        char commandLine[COMMAND_LINE_CHARS];
        size_t length = lstrlenA(folder);
        const char *separator = (length && folder[length - 1] == '\\') ? "" : "\\";

        SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                      "[CreateGroup(%s)]", groupName);
        SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                      "[DeleteItem(%s)]", "Uninstall Tool");
        SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                      "[DeleteItem(%s)]", "Status Display");
        /* An earlier install's items of the names added below go as well, so
         * that a second install does not list them twice. */
        SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                      "[DeleteItem(%s)]", "Uninstall");
        SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                      "[DeleteItem(%s)]", "KxConsole");
        /* The closing quote belongs to the command line, so that the word
         * Uninstall follows the quoted program path. */
        if (SUCCEEDED(StringCchPrintfA(commandLine, ARRAYSIZE(commandLine), "%s%s%s\" Uninstall",
                                       folder, separator, "kxsetup.exe")))
            SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                          "[AddItem(\"%s,%s,%s,%d)]", commandLine, "Uninstall", "", 0);
        if (consoleFlag &&
            SUCCEEDED(StringCchPrintfA(commandLine, ARRAYSIZE(commandLine), "%s%s%s", folder,
                                       separator, "kxcons.exe")))
            SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                          "[AddItem(\"%s\",%s,%s,%d)]", commandLine, "KxConsole", "", 0);
        DdeDisconnect(conversation);
    }
    DdeUninitialize(instance);
}

void DeleteProgramGroup(void)
{
    DWORD instance = StartClient();
    if (!instance)
        return;

    HCONV conversation = ConnectShell(instance);
    if (conversation) {
        char command[UNINSTALL_COMMAND_CHARS];
        SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                      "[DeleteGroup(%s)]", groupName);
    }
    /* Ends the conversation as well. */
    DdeUninitialize(instance);
}
