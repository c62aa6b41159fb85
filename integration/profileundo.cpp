#include "integration/integration.h"
#include "change/change.h"
#include <stddef.h>
#include <string.h>
#include <strsafe.h>

/* A section of an INI file that the system keeps in the registry (win.ini and
 * system.ini on NT, through IniFileMapping): a copy of the file would not
 * take a change of it back, so the section's entries are kept as the profile
 * calls read them and put back through the same calls, which reach wherever
 * the mapping puts them. SetupAPI writes such lines through those calls too. */

#define INI_MAPPING_KEY "Software\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\"
#define SECTION_NAME_CHARS 256
#define SECTION_LINE "profile restore [%s] of %s"

struct SectionUndo {
    char file[MAX_PATH];
    char section[SECTION_NAME_CHARS];
    DWORD bytes; /* of `entries`, "key=value" lines each with its zero */
    char entries[4];
};

int IniFileMapped(const char *file)
{
    char mapping[ARRAYSIZE(INI_MAPPING_KEY) + MAX_PATH];
    const char *name = file;
    HKEY key;

    for (const char *c = file; *c; c++)
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    if (!name[0] || FAILED(StringCchPrintfA(mapping, ARRAYSIZE(mapping), "%s%s", INI_MAPPING_KEY, name)) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, mapping, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

/* The section's lines in `buffer` (KX_INI_SECTION_BYTES); their bytes, or -1
 * when they do not fit. */
static long ReadSection(const char *file, const char *section, char *buffer)
{
    DWORD chars = GetPrivateProfileSectionA(section, buffer, KX_INI_SECTION_BYTES, file);
    if (chars >= KX_INI_SECTION_BYTES - 2)
        return -1;
    /* The list's closing zero, which not every system writes. */
    buffer[chars] = '\0';
    return chars ? (long)chars + 1 : 0;
}

int IniSectionFits(const char *file, const char *section)
{
    char *buffer = (char *)AllocateMemory(KX_INI_SECTION_BYTES);
    int fits = buffer && strlen(file) < MAX_PATH && strlen(section) < SECTION_NAME_CHARS &&
               ReadSection(file, section, buffer) >= 0;
    if (buffer)
        FreeMemory(buffer);
    return fits;
}

int JournalIniSection(const char *file, const char *section)
{
    if (!Journaling())
        return 1;
    char *buffer = (char *)AllocateMemory(KX_INI_SECTION_BYTES);
    long bytes = buffer && strlen(file) < MAX_PATH && strlen(section) < SECTION_NAME_CHARS
                     ? ReadSection(file, section, buffer)
                     : -1;
    if (bytes < 0)
        LogLine("the section [%s] of %s cannot be kept for the undo: over %u bytes, or not readable",
                section, file, (unsigned)KX_INI_SECTION_BYTES);
    else {
        SectionUndo *undo = (SectionUndo *)Journal(StepIniSection, sizeof(SectionUndo) + (DWORD)bytes,
                                                   SECTION_LINE, section, file);
        if (undo) {
            StringCchCopyA(undo->file, ARRAYSIZE(undo->file), file);
            StringCchCopyA(undo->section, ARRAYSIZE(undo->section), section);
            undo->bytes = (DWORD)bytes;
            CopyMemory(undo->entries, buffer, (size_t)bytes);
        }
    }
    if (buffer)
        FreeMemory(buffer);
    return bytes >= 0;
}

/* The key of a "key=value" line in `key`; 0 for a line without one. */
static int LineKey(const char *line, char *key)
{
    const char *value = line;
    while (*value && *value != '=')
        value++;
    if (!*value || value == line || value - line >= SECTION_NAME_CHARS)
        return 0;
    StringCchCopyNA(key, SECTION_NAME_CHARS, line, (size_t)(value - line));
    return 1;
}

/* Whether the section had `key` before the run; INI keys ignore case. */
static int KeptKey(const SectionUndo *undo, const char *key)
{
    char kept[SECTION_NAME_CHARS];
    const char *end = undo->entries + undo->bytes;
    for (const char *line = undo->entries; line < end && *line; line += strlen(line) + 1)
        if (LineKey(line, kept) && lstrcmpiA(kept, key) == 0)
            return 1;
    return 0;
}

/* Entries the run added go, entries it changed or took come back; the others
 * are not written, so that a mapped value keeps its type. */
static DWORD UndoIniSection(void *data)
{
    SectionUndo *undo = (SectionUndo *)data;
    char *keys = (char *)AllocateMemory(2 * KX_INI_SECTION_BYTES);
    DWORD code = NO_ERROR;

    if (!keys)
        return ERROR_NOT_ENOUGH_MEMORY;
    char *now = keys + KX_INI_SECTION_BYTES;
    GetPrivateProfileStringA(undo->section, NULL, "", keys, KX_INI_SECTION_BYTES, undo->file);
    for (char *key = keys; code == NO_ERROR && *key; key += strlen(key) + 1)
        if (!KeptKey(undo, key) &&
            !WritePrivateProfileStringA(undo->section, key, NULL, undo->file))
            code = GetLastError();
    const char *end = undo->entries + undo->bytes;
    for (const char *line = undo->entries; code == NO_ERROR && line < end && *line; line += strlen(line) + 1) {
        char key[SECTION_NAME_CHARS];
        if (!LineKey(line, key))
            continue;
        const char *value = line + strlen(key) + 1;
        /* A value the profile calls read back unchanged stays untouched. */
        GetPrivateProfileStringA(undo->section, key, "\x01", now, KX_INI_SECTION_BYTES, undo->file);
        if (strcmp(now, value) != 0 && !WritePrivateProfileStringA(undo->section, key, value, undo->file))
            code = GetLastError();
    }
    FreeMemory(keys);
    return code;
}

static const char *CheckIniSection(const void *data, DWORD bytes, const char *line)
{
    const SectionUndo *undo = (const SectionUndo *)data;
    const DWORD head = (DWORD)offsetof(SectionUndo, entries);

    if (bytes < head || !FieldText(undo->file, MAX_PATH) || !FieldText(undo->section, SECTION_NAME_CHARS))
        return KX_STEP_UNENDED;
    if (undo->bytes > bytes - head || undo->bytes > KX_INI_SECTION_BYTES ||
        (undo->bytes && undo->entries[undo->bytes - 1]))
        return KX_STEP_SHORT;
    return LineIs(line, SECTION_LINE, undo->section, undo->file) ? NULL : KX_STEP_OTHER_LINE;
}

void DefineProfileUndo(void)
{
    DefineUndo(StepIniSection, UndoIniSection, CheckIniSection);
}
