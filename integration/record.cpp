#include "integration/integration.h"
#include "change/change.h"
#include "kxversion.h"
#include <string.h>
#include <strsafe.h>

/* The registry query is given one byte less than the buffer so that a value
 * that fills it still leaves room for the terminator put after it. */
#define QUERY_ROOM (TEXT_CHARS - 1)

/* An existing record key whose owner is trusted but whose entries let others
 * set values or make keys (an earlier release's key below NT 4's
 * HKLM\Software, which gives Everyone both) gets the administrators' entries
 * before its first value is written; its own entries are kept for the undo.
 * 0 when it is somebody else's, or cannot be protected. */
static int ProtectRecordKey(const char *subKey, AdminSecurity *security)
{
    DWORD descriptor[256];
    DWORD bytes = sizeof(descriptor);
    const char *why = NULL;
    HKEY key;
    int verdict;
    LONG status;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return 1;
    verdict = JudgeKeyTrust(key, subKey, &why);
    status = ERROR_SUCCESS;
    if (verdict == KeyUntrusted) {
        LogLine("%s", why);
        status = ERROR_ACCESS_DENIED;
    } else if (verdict == KeyRepairable &&
               RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor, &bytes) == ERROR_SUCCESS) {
        int undo = JournalKeyEntries(HKEY_LOCAL_MACHINE, "HKLM", subKey, descriptor, bytes);
        /* The journal lists a key once: a plan, which changes nothing, finds
         * it open again for each of its values. */
        if ((undo || !Journaling()) &&
            Act("registry permissions of HKLM\\%s: administrators and system only", subKey)) {
            HKEY writable;
            status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, WRITE_DAC | WRITE_OWNER, &writable);
            if (status == ERROR_SUCCESS) {
                status = RegSetKeySecurity(writable,
                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           &security->descriptor);
                RegCloseKey(writable);
            }
            ActDone(status == ERROR_SUCCESS, (DWORD)status);
        }
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

/* The key one record's values go to: built, judged and protected once for
 * all of them (each value's own judgement cost milliseconds). */
static struct {
    char subKey[TEXT_CHARS];
    AdminSecurity security;
} series;

void ForgetRecordSeries(void)
{
    series.subKey[0] = '\0';
}

/* The earlier values of a record are journaled together: one write-through
 * before the first of them is set. */
static int BeginSeries(const char *subKey, const char *const names[], size_t count)
{
    int kept = 1;

    series.subKey[0] = '\0';
    HoldJournal(1);
    for (size_t i = 0; i < count; i++)
        kept &= JournalValue(HKEY_LOCAL_MACHINE, "HKLM", subKey, names[i]);
    HoldJournal(0);
    return kept;
}

/* One value under HKEY_LOCAL_MACHINE, with its own create, set and close. */
static int WriteMachineValue(const char *subKey, const char *valueName, DWORD type,
                             const BYTE *data, DWORD bytes)
{
    HKEY key;
    DWORD disposition = 0;
    const char *why;
    LONG status;
    int judged = lstrcmpiA(series.subKey, subKey) == 0;

    if (!judged && (!BuildAdminSecurity(&series.security, KEY_ALL_ACCESS, KEY_READ) ||
                    !ProtectRecordKey(subKey, &series.security)))
        return 0;
    if (!JournalValue(HKEY_LOCAL_MACHINE, "HKLM", subKey, valueName))
        return 0;
    int make = type == REG_DWORD ? Act("registry set HKLM\\%s %s = REG_DWORD %lu", subKey, valueName,
                                       (unsigned long)*(const DWORD *)data)
               : type == REG_SZ
                   ? Act("registry set HKLM\\%s %s = REG_SZ \"%s\"", subKey, valueName,
                         (const char *)data)
                   : Act("registry set HKLM\\%s %s = REG_MULTI_SZ: size and hash of %u files",
                         subKey, valueName, HIWORD(bytes));
    if (type == REG_MULTI_SZ)
        bytes = LOWORD(bytes);

    if (!make)
        return 1;
    /* On NT 4 and 2000 users may make keys under HKLM\Software: a key made
     * here is the administrators' own, and one somebody else made since it
     * was judged is refused (RecordKeysTrusted has told why before the first
     * value). */
    status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, &series.security.attributes, &key, &disposition);
    if (status == ERROR_SUCCESS) {
        if (!judged && disposition != REG_CREATED_NEW_KEY &&
            JudgeKeyTrust(key, subKey, &why) != KeyTrusted) {
            LogLine("%s", why ? why : "the record key may be changed by other users");
            status = ERROR_ACCESS_DENIED;
        } else {
            status = RegSetValueExA(key, valueName, 0, type, data, bytes);
        }
        RegCloseKey(key);
    }
    ActDone(status == ERROR_SUCCESS, (DWORD)status);
    /* From here on nobody else may change the key. */
    if (status == ERROR_SUCCESS)
        StringCchCopyA(series.subKey, ARRAYSIZE(series.subKey), subKey);
    return status == ERROR_SUCCESS;
}

int WriteMachineString(const char *subKey, const char *valueName, const char *text)
{
    /* Stored without the terminating zero; readers terminate at the length. */
    return WriteMachineValue(subKey, valueName, REG_SZ, (const BYTE *)text, strlen(text));
}

static int WriteMachineDword(const char *subKey, const char *valueName, DWORD value)
{
    return WriteMachineValue(subKey, valueName, REG_DWORD, (const BYTE *)&value, sizeof(value));
}

int ProtectRecordKeys(void)
{
    AdminSecurity security;

    return BuildAdminSecurity(&security, KEY_ALL_ACCESS, KEY_READ) &&
           ProtectRecordKey(KX_PRODUCT_KEY, &security) &&
           ProtectRecordKey(KX_UNINSTALL_KEY, &security);
}

int RecordKeysTrusted(const char *caption, int repairing)
{
    static const char *const keys[] = {KX_PRODUCT_KEY, KX_UNINSTALL_KEY};
    const char *why = NULL;
    HKEY key;

    for (int i = 0; i < 2 && !why; i++) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keys[i], 0, READ_CONTROL, &key) != ERROR_SUCCESS)
            continue;
        if (JudgeKeyTrust(key, keys[i], &why) == KeyRepairable && repairing)
            why = NULL;
        RegCloseKey(key);
    }
    if (why)
        KxMessageBox(NULL, why, caption, MB_OK);
    return why == NULL;
}

/* A missing key or value, a value of another type, or one longer than the
 * room all read as the empty text: nothing partial is ever handed back. */
int ReadMachineString(const char *subKey, const char *valueName, char *buffer)
{
    HKEY key;
    DWORD type = REG_NONE;
    DWORD size = QUERY_ROOM;

    buffer[0] = '\0';
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    if (RegQueryValueExA(key, valueName, NULL, &type, (BYTE *)buffer, &size) == ERROR_SUCCESS &&
        type == REG_SZ && size <= QUERY_ROOM)
        buffer[size] = '\0';
    else
        buffer[0] = '\0';
    RegCloseKey(key);
    return 1;
}

/* A text that does not fit its 260-byte buffer is not written at all (the
 * value keeps what it held): a cut folder would make uninstall work on some
 * other folder. Returns 1 when every value was written. */
int WriteInstallRecord(SetupStateRecord *state)
{
    static const char *const names[] = { "InstallSections", "StatusDisplayDir", "ControlPanelDir",
                                         KX_INSTALLED_VALUE, KX_VERSION_VALUE, KX_PORT_VALUE };
    char text[TEXT_CHARS];
    int written = BeginSeries(KX_PRODUCT_KEY, names, ARRAYSIZE(names));
    long previous;

    if (!written)
        return 0;
    text[0] = '\0';
    ReadMachineString(KX_PRODUCT_KEY, "InstallSections", text);
    previous = LeadingNumber(text);

    if (SUCCEEDED(StringCchPrintfA(text, ARRAYSIZE(text), "%d",
                                   (int)(previous | (long)state->selectedComponents))))
        written &= WriteMachineString(KX_PRODUCT_KEY, "InstallSections", text);
    else
        written = 0;

    if (SUCCEEDED(StringCchPrintfA(text, ARRAYSIZE(text), KX_DIR_VALUE_FORMAT, state->statusDir,
                                   (unsigned long)state->statusDirId))) {
        written &= WriteMachineString(KX_PRODUCT_KEY, "StatusDisplayDir", text);
        written &= WriteMachineString(KX_PRODUCT_KEY, "ControlPanelDir", text);
    } else {
        written = 0;
    }
    /* Beside the set that only grows: what this installation holds, which
     * /verify checks and an uninstall sets to none. */
    if (SUCCEEDED(StringCchPrintfA(text, ARRAYSIZE(text), "%lu",
                                   (unsigned long)state->selectedComponents)))
        written &= WriteMachineString(KX_PRODUCT_KEY, KX_INSTALLED_VALUE, text);
    else
        written = 0;
    /* What a later version compares itself with, and the port a repair adds
     * the printers on again. */
    written &= WriteMachineString(KX_PRODUCT_KEY, KX_VERSION_VALUE, KX_VERSION_TEXT);
    written &= WriteMachineString(KX_PRODUCT_KEY, KX_PORT_VALUE, state->portName);
    return written;
}

/* What the entry holds, for the run that writes it and for /verify, which
 * checks it: each value in the order it is written, with its text (or the
 * number of the run's own text) or number. The date and the size belong to
 * the run that wrote them: verify asks only that they are there. */
enum { Literal, UninstallText, QuietText, IconText, FolderText, DateText, ENTRY_TEXTS };
struct EntryValue {
    const char *name;
    BYTE type;  /* REG_SZ or REG_DWORD */
    BYTE text;  /* Literal, or which of the run's texts */
    BYTE fixed; /* 0: only its presence is checked */
    BYTE number; /* the version's parts and flags: all below 256 */
    const char *literal;
};
static_assert(KX_VERSION_MAJOR < 256 && KX_VERSION_MINOR < 256, "the version's parts fit an entry's number");
static const EntryValue entryValues[] = {
    { "DisplayName", REG_SZ, Literal, 1, 0, "Velba Printer Version " KX_VERSION_TEXT },
    { "DisplayVersion", REG_SZ, Literal, 1, 0, KX_VERSION_TEXT },
    { "Publisher", REG_SZ, Literal, 1, 0, "Velba" },
    { "VersionMajor", REG_DWORD, Literal, 1, KX_VERSION_MAJOR, NULL },
    { "VersionMinor", REG_DWORD, Literal, 1, KX_VERSION_MINOR, NULL },
    { "UninstallString", REG_SZ, UninstallText, 1, 0, NULL },
    /* What deployment tools run to remove the package without a person. */
    { "QuietUninstallString", REG_SZ, QuietText, 1, 0, NULL },
    { "DisplayIcon", REG_SZ, IconText, 1, 0, NULL },
    { "InstallLocation", REG_SZ, FolderText, 1, 0, NULL },
    { "InstallDate", REG_SZ, DateText, 0, 0, NULL },
    { "EstimatedSize", REG_DWORD, Literal, 0, 0, NULL },
    /* The program only installs and removes: no change or repair to offer. */
    { "NoModify", REG_DWORD, Literal, 1, 1, NULL },
    { "NoRepair", REG_DWORD, Literal, 1, 1, NULL },
};
#define ENTRY_VALUES ((int)ARRAYSIZE(entryValues))
typedef char EntryTexts[ENTRY_TEXTS][TEXT_CHARS];

/* 0 when a text does not fit (the folder rule keeps every one of them within
 * its buffer). The backslash is always put in, also after a drive root. */
static int DescribeEntry(const SetupStateRecord *state, EntryTexts texts)
{
    SYSTEMTIME today;

    /* The local date, as the system's own list of programs shows it. */
    GetLocalTime(&today);
    StringCchPrintfA(texts[DateText], TEXT_CHARS, "%04u%02u%02u", today.wYear, today.wMonth,
                     today.wDay);
    return SUCCEEDED(StringCchPrintfA(texts[UninstallText], TEXT_CHARS, KX_UNINSTALL_FORMAT,
                                      state->statusDir)) &&
           SUCCEEDED(StringCchPrintfA(texts[QuietText], TEXT_CHARS, "%s" KX_QUIET_OPTION,
                                      texts[UninstallText])) &&
           SUCCEEDED(StringCchPrintfA(texts[IconText], TEXT_CHARS, "%s\\kxsetup.exe,0",
                                      state->statusDir)) &&
           SUCCEEDED(StringCchCopyA(texts[FolderText], TEXT_CHARS, state->statusDir));
}

static const char *EntryText(const EntryValue *value, EntryTexts texts)
{
    return value->text == Literal ? value->literal : texts[value->text];
}

int WriteUninstallEntry(SetupStateRecord *state, DWORD installedKb)
{
    EntryTexts texts;
    const char *names[ENTRY_VALUES];
    int written = DescribeEntry(state, texts);

    for (int i = 0; i < ENTRY_VALUES; i++)
        names[i] = entryValues[i].name;
    if (!written || !BeginSeries(KX_UNINSTALL_KEY, names, ENTRY_VALUES))
        return 0;
    for (const EntryValue *value = entryValues; value < entryValues + ENTRY_VALUES; value++)
        written &= value->type == REG_SZ
                       ? WriteMachineString(KX_UNINSTALL_KEY, value->name, EntryText(value, texts))
                       : WriteMachineDword(KX_UNINSTALL_KEY, value->name,
                                           value->fixed ? value->number : installedKb);
    /* The program's event source. The exe keeps no message table (no room):
     * an event's one text is all of it. A source that could not be made still
     * takes the events. */
    WriteMachineDword(KX_EVENT_KEY, "TypesSupported",
                      EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE);
    return written;
}

int VerifyUninstallEntry(const SetupStateRecord *state, VerifyReport report, void *context)
{
    EntryTexts texts;
    char text[TEXT_CHARS];
    int intact = DescribeEntry(state, texts);
    HKEY key;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        key = NULL;
    for (const EntryValue *value = entryValues; value < entryValues + ENTRY_VALUES; value++) {
        DWORD type = REG_NONE, bytes = QUERY_ROOM;
        ZeroMemory(text, sizeof(text));
        LONG status = key ? RegQueryValueExA(key, value->name, NULL, &type, (BYTE *)text, &bytes)
                          : ERROR_FILE_NOT_FOUND;
        int same = status == ERROR_SUCCESS && type == value->type &&
                   (!value->fixed ||
                    (type == REG_SZ ? strcmp(text, EntryText(value, texts)) == 0
                                    : bytes == sizeof(DWORD) && *(DWORD *)text == value->number));
        intact &= same;
        report(context, "uninstall entry value", value->name,
               status != ERROR_SUCCESS ? "missing" : same ? "ok" : "changed");
    }
    if (key)
        RegCloseKey(key);
    return intact;
}

/* The known digest of `target`, when `content` (the target, or the file a
 * pending rename puts there) has the size it names. */
static int KnownAndSameSize(KnownDigestProc known, const char *target, const char *content,
                            char *digest)
{
    WIN32_FILE_ATTRIBUTE_DATA data;

    return known && known(target, digest) &&
           GetFileAttributesExA(content, GetFileExInfoStandard, &data) && !data.nFileSizeHigh &&
           (long)data.nFileSizeLow == LeadingNumber(strrchr(digest, ' '));
}

int RecordFiles(const char *targets, KnownDigestProc known)
{
    static const char *const names[] = { "Files" };
    char line[MAX_PATH + DIGEST_TEXT_CHARS];
    FileDigest digest;
    DWORD used = 0, count = 0;
    int written = 0;

    for (const char *t = targets; *t; t += strlen(t) + 1)
        count++;
    char *list = (char *)AllocateMemory(count * ARRAYSIZE(line) + 2);
    if (!list || !BeginSeries(KX_PRODUCT_KEY, names, 1))
        goto done;
    /* Taken after the copy: what /verify compares the files with. A target
     * the copy did not make (a newer one kept) is taken as it stands; one
     * that SetupAPI put off to the restart as the file that will replace it.
     * A file that cannot be read is listed without a hash, so that /verify
     * says it could not check it. */
    for (const char *t = targets; *t && !Planning(); t += strlen(t) + 1) {
        char pending[MAX_PATH];
        const char *content = PendingRenameOnto(t, pending, ARRAYSIZE(pending)) ? pending : t;
        int hashed = KnownAndSameSize(known, t, content, line) ||
                     (DigestFile(content, 0, &digest) == NO_ERROR &&
                      FormatDigest(&digest, line, DIGEST_TEXT_CHARS));
        if (!hashed)
            StringCchCopyA(line, ARRAYSIZE(line), "none: 0");
        size_t head = strlen(line);
        if (SUCCEEDED(StringCchPrintfA(line + head, ARRAYSIZE(line) - head, " %s", t))) {
            DWORD length = (DWORD)strlen(line) + 1;
            CopyMemory(list + used, line, length);
            used += length;
        }
    }
    /* The action line names the count, which a plan knows as well. */
    written = WriteMachineValue(KX_PRODUCT_KEY, "Files", REG_MULTI_SZ, (const BYTE *)list,
                                MAKELONG(used + 1, count));
done:
    if (list)
        FreeMemory(list);
    return written;
}

char *ReadRecordedFiles(void)
{
    HKEY key;
    DWORD type = REG_NONE, bytes = 0;
    char *list = NULL;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_PRODUCT_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return NULL;
    if (RegQueryValueExA(key, "Files", NULL, &type, NULL, &bytes) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ &&
        (list = (char *)AllocateMemory(bytes + 2)) != NULL &&
        RegQueryValueExA(key, "Files", NULL, &type, (BYTE *)list, &bytes) != ERROR_SUCCESS) {
        FreeMemory(list);
        list = NULL;
    }
    RegCloseKey(key);
    return list;
}

/* The whole entry goes; the record under KX_PRODUCT_KEY stays. An entry that is
 * already gone, or cannot be deleted, still leaves an uninstall that is done. */
void DeleteMachineKey(const char *subKey)
{
    if (!Act("registry delete HKLM\\%s", subKey))
        return;
    LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, subKey);
    ActDone(status == ERROR_SUCCESS, (DWORD)status);
}

int ReadInstalledComponents(DWORD *components)
{
    char text[TEXT_CHARS];

    ReadMachineString(KX_PRODUCT_KEY, KX_INSTALLED_VALUE, text);
    if (!text[0])
        return 0;
    *components = (DWORD)LeadingNumber(text);
    return 1;
}

/* The uninstall is not undone: the value is set, never journaled back. */
void RecordUninstalled(void)
{
    WriteMachineString(KX_PRODUCT_KEY, KX_INSTALLED_VALUE, "0");
}

/* A missing record, or a folder entry without "=", gives an empty folder and
 * id 0, so the uninstall binds no status display directory. The split is at
 * the last "=": a folder name may hold one itself, the id never does. */
int ReadInstallRecord(SetupStateRecord *state)
{
    char text[TEXT_CHARS];
    char *equals;

    ReadMachineString(KX_PRODUCT_KEY, "StatusDisplayDir", text);
    equals = strrchr(text, '=');
    if (equals) {
        *equals = '\0';
        StringCchCopyA(state->statusDir, ARRAYSIZE(state->statusDir), text);
        state->statusDirId = (DWORD)LeadingNumber(equals + 1);
    } else {
        state->statusDir[0] = '\0';
        state->statusDirId = 0;
    }

    ReadMachineString(KX_PRODUCT_KEY, "InstallSections", text);
    state->selectedComponents = (DWORD)LeadingNumber(text);
    return 1;
}

int ReadInstallation(SetupStateRecord *state)
{
    char port[TEXT_CHARS];

    if (!ReadMachineString(KX_UNINSTALL_KEY, "DisplayVersion", port))
        return 0;
    ReadInstallRecord(state);
    ReadInstalledComponents(&state->selectedComponents);
    /* A record of an earlier release keeps no port: its printers were on the default one. */
    ReadMachineString(KX_PRODUCT_KEY, KX_PORT_VALUE, port);
    StringCchCopyA(state->portName, ARRAYSIZE(state->portName), port[0] ? port : "LPT1:");
    return 1;
}
