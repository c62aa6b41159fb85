#include "run/run.h"
#include "integration/integration.h"
#include "change/change.h"
#include <string.h>
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

/* An INI file as SetupAPI writes it: a bare name in the Windows folder,
 * anything else as the profile calls take it. 0 for a line that names no
 * file (nothing is written), -1 when the path does not fit. */
static int IniFilePath(INFCONTEXT *line, char *path, size_t chars)
{
    char name[MAX_PATH];

    if (!SetupGetStringFieldA(line, 1, name, sizeof(name), NULL) || !name[0])
        return 0;
    if (!strchr(name, '\\') && !strchr(name, '/') && !strchr(name, ':')) {
        char windows[MAX_PATH];
        UINT length = GetWindowsDirectoryA(windows, ARRAYSIZE(windows));
        return length && length < ARRAYSIZE(windows) &&
                       SUCCEEDED(StringCchPrintfA(path, chars, "%s\\%s", windows, name))
                   ? 1
                   : -1;
    }
    DWORD length = GetFullPathNameA(name, (DWORD)chars, path, NULL);
    return length && length < chars ? 1 : -1;
}

/* The registry's roots a section's lines name; relative roots (HKR) have no
 * meaning outside a device's section. */
static HKEY LineRoot(INFCONTEXT *line, const char **rootName, char *subKey, size_t chars)
{
    static const struct {
        const char *name;
        HKEY root;
    } roots[] = { { "HKLM", HKEY_LOCAL_MACHINE }, { "HKCU", HKEY_CURRENT_USER },
                  { "HKCR", HKEY_CLASSES_ROOT },  { "HKU", HKEY_USERS } };
    char root[8];

    if (!SetupGetStringFieldA(line, 1, root, sizeof(root), NULL) ||
        !SetupGetStringFieldA(line, 2, subKey, (DWORD)chars, NULL))
        return NULL;
    for (size_t i = 0; i < ARRAYSIZE(roots); i++)
        if (lstrcmpiA(root, roots[i].name) == 0) {
            *rootName = roots[i].name;
            return roots[i].root;
        }
    return NULL;
}

/* As SetupAPI reads a registry line: a DelReg line, or an AddReg line flagged
 * FLG_ADDREG_DELVAL, deletes; without a value name (or flagged
 * FLG_DELREG_KEYONLY_COMMON) it takes the whole key with everything in it. */
static int DeletesTree(INFCONTEXT *line, int delReg)
{
    char value[MAX_PATH];
    INT flags = 0;

    if (!SetupGetIntField(line, 4, &flags))
        flags = 0;
    return (delReg || (flags & FLG_ADDREG_DELVAL)) &&
           ((flags & FLG_DELREG_KEYONLY_COMMON) ||
            !SetupGetStringFieldA(line, 3, value, sizeof(value), NULL) || !value[0]);
}

/* The box's text in `why` (TEXT_CHARS) for what the journal cannot keep; 0. */
static int TooLarge(char *why, const char *what, const char *name, const char *place)
{
    char named[TEXT_CHARS];

    StringCchPrintfA(named, ARRAYSIZE(named), what, name, place);
    StringCchPrintfA(why, TEXT_CHARS, "%s is too large to be kept for the undo: nothing was changed.",
                     named);
    LogLine("setup information: %s", why);
    return 0;
}

/* 0 with the box's text in `why` (TEXT_CHARS) when the line deletes a key
 * tree that the journal could not keep. */
static int TreeKept(INFCONTEXT *line, int delReg, char *why)
{
    char subKey[MAX_PATH];
    const char *rootName;
    HKEY root = LineRoot(line, &rootName, subKey, sizeof(subKey));

    if (!root || !DeletesTree(line, delReg) || KeyTreeFits(root, subKey))
        return 1;
    return TooLarge(why, "The registry key %s\\%s", rootName, subKey);
}

static int DeletedTreeKept(HINF, const char *, long, INFCONTEXT *line, void *why)
{
    return TreeKept(line, 1, (char *)why);
}

static int AddedTreeKept(HINF, const char *, long, INFCONTEXT *line, void *why)
{
    return TreeKept(line, 0, (char *)why);
}

/* A file the system maps into the registry (win.ini, system.ini on NT) is
 * undone by its section's entries, kept up to a bound; other INI files by a
 * copy of the file. 0 with the box's text in `why` (TEXT_CHARS) when the
 * line's section cannot be kept. */
static int IniSectionKept(INFCONTEXT *line, char *why)
{
    char name[MAX_PATH], section[MAX_PATH];

    if (!SetupGetStringFieldA(line, 1, name, sizeof(name), NULL) || !IniFileMapped(name) ||
        !SetupGetStringFieldA(line, 2, section, sizeof(section), NULL) || IniSectionFits(name, section))
        return 1;
    return TooLarge(why, "The section [%s] of %s", section, name);
}

static int IniFileKept(HINF, const char *, long, INFCONTEXT *line, void *why)
{
    return IniSectionKept(line, (char *)why);
}

int UndoableSection(HINF inf, const char *section, char *why /* TEXT_CHARS */)
{
    return WalkListLines(inf, section, "UpdateInis", IniFileKept, why) == 1 &&
           WalkListLines(inf, section, "UpdateIniFields", IniFileKept, why) == 1 &&
           WalkListLines(inf, section, "DelReg", DeletedTreeKept, why) == 1 &&
           WalkListLines(inf, section, "AddReg", AddedTreeKept, why) == 1;
}

/* What each line changes, as it stands before the section applies it: an
 * INI file's content (or absence), a value (or its absence), the keys an
 * addition makes, a key tree a deletion takes. */
enum LineChange { IniLine, AddLine, DeleteLine };

struct LineWalk {
    const char *section;
    const char *change;
    LineChange kind;
    int journal; /* 1: record the undo; 0: the action lines */
    int unkept;
};

static int JournalLine(LineWalk *walk, INFCONTEXT *line)
{
    char path[MAX_PATH], value[MAX_PATH];
    const char *rootName;

    if (!Journaling())
        return 1;
    if (walk->kind == IniLine) {
        /* SetupAPI hands a mapped file's name to the profile calls as the
         * line writes it; the undo does the same. */
        if (SetupGetStringFieldA(line, 1, path, sizeof(path), NULL) && IniFileMapped(path))
            return !SetupGetStringFieldA(line, 2, value, sizeof(value), NULL) ||
                   JournalIniSection(path, value);
        int named = IniFilePath(line, path, ARRAYSIZE(path));
        if (named < 0)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return !named || (named > 0 && JournalTarget(path));
    }
    HKEY root = LineRoot(line, &rootName, path, sizeof(path));
    if (!root)
        return 1;
    if (DeletesTree(line, walk->kind == DeleteLine))
        return JournalKeyTree(root, rootName, path);
    if (SetupGetStringFieldA(line, 3, value, sizeof(value), NULL))
        return JournalValue(root, rootName, path, value);
    JournalKeys(root, rootName, path);
    return 1;
}

static int ActLine(HINF, const char *list, long, INFCONTEXT *line, void *context)
{
    LineWalk *walk = (LineWalk *)context;
    char text[TEXT_CHARS];

    if (walk->journal) {
        SetLastError(NO_ERROR);
        if (JournalLine(walk, line))
            return 1;
        DWORD code = GetLastError();
        /* A tree or section that grew past the bound since the run began is
         * named as the check before the first change names it. */
        if (walk->kind == IniLine ? !IniSectionKept(line, text)
                                  : !TreeKept(line, walk->kind == DeleteLine, text))
            KeepBox(text, KX_CAPTION_INSTALL_ERROR);
        else
            KeepSystemError(code ? code : ERROR_CAN_NOT_COMPLETE, KX_CAPTION_INSTALL_ERROR);
        walk->unkept = 1;
        LogLine("the undo of list %s of section %s cannot be kept: the section is not applied",
                list, walk->section);
        return 0;
    }
    if (SetupGetLineTextA(line, NULL, NULL, NULL, text, sizeof(text), NULL))
        Act("%s %s (section %s)", walk->change, text, walk->section);
    return 1;
}

/* Each line of the lists that the section's entry `key` names, as the file
 * writes it; 0 when the journal cannot keep a line's undo. */
static int ActLists(HINF inf, const char *section, const char *key, const char *change,
                    LineChange kind, int journal)
{
    LineWalk walk = { section, change, kind, journal, 0 };
    WalkListLines(inf, section, key, ActLine, &walk);
    return !walk.unkept;
}

/* In the order SetupAPI applies them: INI files, then registry deletions, then
 * additions. Every undo is journaled before the first action line, so that a
 * section whose undo cannot be kept is described by none. */
int ActSection(HINF inf, const char *section, UINT parts)
{
    static const struct {
        UINT part;
        const char *key;
        const char *change;
        LineChange kind;
    } lists[] = { { SPINST_INIFILES, "UpdateInis", "ini update", IniLine },
                  { SPINST_INIFILES, "UpdateIniFields", "ini fields update", IniLine },
                  { SPINST_REGISTRY, "DelReg", "registry delete", DeleteLine },
                  { SPINST_REGISTRY, "AddReg", "registry add", AddLine } };

    for (int journal = 1; journal >= 0; journal--)
        for (size_t i = 0; i < ARRAYSIZE(lists); i++)
            if ((parts & lists[i].part) &&
                !ActLists(inf, section, lists[i].key, lists[i].change, lists[i].kind, journal))
                return -1;
    return !Planning();
}
