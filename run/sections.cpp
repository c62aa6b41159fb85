#include "run/run.h"
#include "integration/integration.h"
#include "base/base.h"
#include <strsafe.h>

struct FileWalk {
    int renames;
    int unkept; /* a file's earlier content could not be backed up */
    char list[NAME_CHARS];
    char folder[MAX_PATH]; /* the list's folder; empty when SetupAPI gives none */
};

static int ActFileLine(HINF inf, const char *list, long, INFCONTEXT *line, void *context)
{
    FileWalk *walk = (FileWalk *)context;
    char file[MAX_PATH], old[MAX_PATH];

    if (lstrcmpiA(walk->list, list) != 0) {
        StringCchCopyA(walk->list, ARRAYSIZE(walk->list), list);
        if (!SetupGetTargetPathA(inf, NULL, list, walk->folder, sizeof(walk->folder), NULL))
            walk->folder[0] = '\0';
    }
    if (!walk->folder[0] || !SetupGetStringFieldA(line, 1, file, sizeof(file), NULL))
        return 1;
    /* An install's deletion keeps the file for the undo; a rename keeps both
     * names. */
    char path[MAX_PATH], oldPath[MAX_PATH];
    if (FAILED(StringCchPrintfA(path, ARRAYSIZE(path), "%s\\%s", walk->folder, file)))
        return 1;
    walk->unkept |= !JournalTarget(path);
    if (!walk->renames)
        Act("delete %s", path);
    else if (SetupGetStringFieldA(line, 2, old, sizeof(old), NULL) &&
             SUCCEEDED(StringCchPrintfA(oldPath, ARRAYSIZE(oldPath), "%s\\%s", walk->folder, old))) {
        walk->unkept |= !JournalTarget(oldPath);
        Act("rename %s -> %s", oldPath, path);
    }
    return 1;
}

static int ActFileLists(HINF inf, const char *section, const char *key, int renames)
{
    FileWalk walk;

    walk.renames = renames;
    walk.unkept = 0;
    walk.list[0] = '\0';
    WalkListLines(inf, section, key, ActFileLine, &walk);
    return !walk.unkept;
}

int ActSectionFiles(HINF inf, const char *section)
{
    return ActFileLists(inf, section, "DelFiles", 0) & ActFileLists(inf, section, "RenFiles", 1);
}

/* What the journal cannot take back: INI changes (the system maps some of
 * them into the registry) and a DelReg line without a value, which deletes
 * a whole key tree. */
static int RefusedLine(HINF, const char *list, long, INFCONTEXT *line, void *context)
{
    const char **key = (const char **)context;
    char value[MAX_PATH];

    if ((*key)[0] == 'D' && SetupGetStringFieldA(line, 3, value, sizeof(value), NULL))
        return 1;
    LogLine("setup information: the %s of list %s cannot be undone", *key, list);
    *key = NULL;
    return 0;
}

int UndoableSection(HINF inf, const char *section)
{
    static const char *const keys[] = { "UpdateInis", "UpdateIniFields", "DelReg" };

    for (size_t i = 0; i < ARRAYSIZE(keys); i++) {
        const char *key = keys[i];
        WalkListLines(inf, section, key, RefusedLine, &key);
        if (!key)
            return 0;
    }
    return 1;
}

/* A registry line's root, key and value as they stand before the section
 * applies it. A line without a value name makes or deletes a key: a key it
 * makes is deleted again; a key tree it deletes is not kept. Relative roots
 * (HKR) have no meaning outside a device's section. */
static void JournalRegistryLine(INFCONTEXT *line)
{
    static const struct {
        const char *name;
        HKEY root;
    } roots[] = { { "HKLM", HKEY_LOCAL_MACHINE }, { "HKCU", HKEY_CURRENT_USER },
                  { "HKCR", HKEY_CLASSES_ROOT },  { "HKU", HKEY_USERS } };
    char root[8], subKey[MAX_PATH], value[MAX_PATH];

    if (!SetupGetStringFieldA(line, 1, root, sizeof(root), NULL) ||
        !SetupGetStringFieldA(line, 2, subKey, sizeof(subKey), NULL))
        return;
    for (size_t i = 0; i < ARRAYSIZE(roots); i++) {
        if (lstrcmpiA(root, roots[i].name) != 0)
            continue;
        if (SetupGetStringFieldA(line, 3, value, sizeof(value), NULL))
            JournalValue(roots[i].root, roots[i].name, subKey, value);
        else
            JournalKeys(roots[i].root, roots[i].name, subKey);
    }
}

struct LineWalk {
    const char *section;
    const char *change;
    int registry;
};

static int ActLine(HINF, const char *, long, INFCONTEXT *line, void *context)
{
    const LineWalk *walk = (const LineWalk *)context;
    char text[TEXT_CHARS];

    if (walk->registry && Journaling())
        JournalRegistryLine(line);
    if (SetupGetLineTextA(line, NULL, NULL, NULL, text, sizeof(text), NULL))
        Act("%s %s (section %s)", walk->change, text, walk->section);
    return 1;
}

/* Each line of the lists that the section's entry `key` names, as the file
 * writes it. */
static void ActLists(HINF inf, const char *section, const char *key, const char *change,
                     int registry)
{
    LineWalk walk = { section, change, registry };
    WalkListLines(inf, section, key, ActLine, &walk);
}

/* In the order SetupAPI applies them: INI files, then registry deletions, then
 * additions. */
int ActSection(HINF inf, const char *section, UINT parts)
{
    if (parts & SPINST_INIFILES) {
        ActLists(inf, section, "UpdateInis", "ini update", 0);
        ActLists(inf, section, "UpdateIniFields", "ini fields update", 0);
    }
    if (parts & SPINST_REGISTRY) {
        ActLists(inf, section, "DelReg", "registry delete", 1);
        ActLists(inf, section, "AddReg", "registry add", 1);
    }
    return !Planning();
}
