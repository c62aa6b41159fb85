#include "integration/integration.h"
#include "change/change.h"
#include <strsafe.h>

#define UNINSTALL_COMMAND_CHARS 128
#define COMMAND_LINE_CHARS 260
#define SHELL_TIMEOUT_MS 10000
#define GROUP_WAIT_MS 60000
#define GROUP_POLL_MS 100
#define GROUP_DONE 0
#define GROUP_NO_DDEML 1

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
    HDDEDATA data = DdeCreateDataHandle(instance, (LPBYTE)command, strlen(command) + 1, 0,
                                        0, CF_TEXT, 0);
    HDDEDATA answer = NULL;
    if (data)
        answer = DdeClientTransaction((LPBYTE)data, 0xFFFFFFFF, conversation, 0, 0, XTYP_EXECUTE,
                                      SHELL_TIMEOUT_MS, &result);
    ActDone(answer != NULL, DdeGetLastError(instance));
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

static void CreateGroup(DWORD instance, const char *folder, int consoleFlag)
{
    HCONV conversation = ConnectShell(instance);
    if (conversation) {
        char command[KX_GROUP_COMMAND_CHARS];
        char commandLine[COMMAND_LINE_CHARS];
        size_t length = strlen(folder);
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
        if (SUCCEEDED(StringCchPrintfA(commandLine, ARRAYSIZE(commandLine), KX_GROUP_PROGRAM_FORMAT,
                                       folder, separator, "kxsetup.exe")))
            SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                          KX_GROUP_ITEM_FORMAT, commandLine, "Uninstall", "", 0);
        if (consoleFlag &&
            SUCCEEDED(StringCchPrintfA(commandLine, ARRAYSIZE(commandLine), "%s%s%s", folder,
                                       separator, "kxcons.exe")))
            SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                          "[AddItem(\"%s\",%s,%s,%d)]", commandLine, "KxConsole", "", 0);
        DdeDisconnect(conversation);
    }
}

static void DeleteGroup(DWORD instance)
{
    HCONV conversation = ConnectShell(instance);
    if (conversation) {
        char command[UNINSTALL_COMMAND_CHARS];
        SendFormatted(instance, conversation, command, ARRAYSIZE(command),
                      "[DeleteGroup(%s)]", groupName);
    }
}

/* What the conversation thread works on: its own block, which it frees, so
 * that a thread left behind past the bound touches nothing of the run. The
 * folder text follows the block. */
struct GroupJob {
    int creating;
    int consoleFlag;
};

/* The whole conversation on a thread of its own (a DDEML instance belongs to
 * the thread that made it): DdeConnect asks every top-level window, and one
 * that never answers would hold it without end. */
static DWORD WINAPI GroupConversation(LPVOID parameter)
{
    GroupJob *job = (GroupJob *)parameter;
    DWORD instance = 0;
    DWORD result = GROUP_DONE;

    if (DdeInitializeA(&instance, DdeClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        result = GROUP_NO_DDEML;
    } else {
        if (job->creating)
            CreateGroup(instance, (const char *)(job + 1), job->consoleFlag);
        else
            DeleteGroup(instance);
        /* Ends a conversation still open (the uninstall's) as well. */
        DdeUninitialize(instance);
    }
    FreeMemory(job);
    return result;
}

/* Waits for the conversation thread at most GROUP_WAIT_MS in all, keeping this
 * thread's messages flowing: DdeConnect's question reaches this thread's
 * windows too, and would wait for an answer here. The clock decides the bound,
 * since every message ends a wait early. */
static int AwaitConversation(HANDLE thread)
{
    DWORD started = GetTickCount();

    for (;;) {
        PumpMessages();
        if (MsgWaitForMultipleObjects(1, &thread, FALSE, 0, 0) == WAIT_OBJECT_0)
            return 1;
        if (GetTickCount() - started >= GROUP_WAIT_MS)
            return 0;
        MsgWaitForMultipleObjects(1, &thread, FALSE, GROUP_POLL_MS, QS_ALLINPUT);
    }
}

static void RunGroupConversation(int creating, const char *folder, int consoleFlag)
{
    size_t folderBytes = strlen(folder) + 1;
    GroupJob *job = (GroupJob *)AllocateMemory(sizeof(GroupJob) + folderBytes);
    HANDLE thread;
    DWORD result = GROUP_DONE;

    if (!job) {
        LogLine("group: out of memory; the group was not %s", creating ? "created" : "deleted");
        return;
    }
    job->creating = creating;
    job->consoleFlag = consoleFlag;
    CopyMemory(job + 1, folder, folderBytes);
    thread = CreateThread(NULL, 0, GroupConversation, job, 0, NULL);
    if (!thread) {
        /* Without a thread to spare the group is still worth an unbounded wait. */
        result = GroupConversation(job);
    } else {
        if (AwaitConversation(thread))
            GetExitCodeThread(thread, &result);
        else
            LogLine("group: no answer within %d s; the group was not %s", GROUP_WAIT_MS / 1000,
                    creating ? "created" : "deleted");
        /* A thread left behind ends by itself, or with the process. */
        CloseHandle(thread);
    }
    if (result == GROUP_NO_DDEML)
        KxMessageBox(NULL, KX_TEXT_DDE_FAILED, KX_CAPTION_ERROR, MB_OK);
}

void CreateProgramGroup(const char *folder, int consoleFlag)
{
    RunGroupConversation(1, folder, consoleFlag);
}

void DeleteProgramGroup(void)
{
    RunGroupConversation(0, "", 0);
}
