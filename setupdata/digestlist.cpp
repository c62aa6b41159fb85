#include "setupdata/setupdata.h"
#include <strsafe.h>

/* A list is small (one line per file of a medium); a larger file is not one. */
#define LIST_BYTES_MAX (1024 * 1024)
#define LINE_CHARS (MAX_PATH + 96)

static char *listText;
static char listFolder[FOLDER_CHARS];

void ForgetDigestList(void)
{
    if (listText)
        HeapFree(GetProcessHeap(), 0, listText);
    listText = NULL;
    listFolder[0] = '\0';
}

int LoadDigestList(const char *folder)
{
    char path[FOLDER_CHARS + sizeof(KX_DIGEST_LIST)];
    DWORD size = 0, read = 0;
    HANDLE file;

    ForgetDigestList();
    if (FAILED(StringCchPrintfA(path, ARRAYSIZE(path), "%s%s", folder, KX_DIGEST_LIST)) ||
        FAILED(StringCchCopyA(listFolder, ARRAYSIZE(listFolder), folder)))
        return 0;
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    size = GetFileSize(file, NULL);
    if (size != INVALID_FILE_SIZE && size <= LIST_BYTES_MAX &&
        (listText = (char *)HeapAlloc(GetProcessHeap(), 0, size + 1)) != NULL &&
        (!ReadFile(file, listText, size, &read, NULL) || read != size)) {
        HeapFree(GetProcessHeap(), 0, listText);
        listText = NULL;
    }
    CloseHandle(file);
    if (!listText) {
        listFolder[0] = '\0';
        return 0;
    }
    listText[size] = '\0';
    return 1;
}

static int HexDigit(char c)
{
    return c >= '0' && c <= '9' ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

/* "name size sha256" read from the right: the name is what stands before
 * the last two fields. 0 for a line that is not one. */
static int ParseLine(char *line, const char **name, FileDigest *digest)
{
    char *blank = NULL, *sizeBlank = NULL;

    ZeroMemory(digest, sizeof(*digest));
    for (char *c = line; *c; c++)
        if (*c == ' ') {
            sizeBlank = blank;
            blank = c;
        }
    if (!sizeBlank || sizeBlank == line || lstrlenA(blank + 1) != 2 * sizeof(digest->value))
        return 0;
    for (DWORD i = 0; i < sizeof(digest->value); i++) {
        int high = HexDigit(blank[1 + 2 * i]), low = HexDigit(blank[2 + 2 * i]);
        if (high < 0 || low < 0)
            return 0;
        digest->value[i] = (BYTE)(high << 4 | low);
    }
    for (char *c = sizeBlank + 1; c < blank; c++) {
        if (*c < '0' || *c > '9' || digest->sizeLow > (MAXDWORD - 9) / 10)
            return 0;
        digest->sizeLow = digest->sizeLow * 10 + (DWORD)(*c - '0');
    }
    if (sizeBlank + 1 == blank)
        return 0;
    *sizeBlank = '\0';
    *name = line;
    digest->algorithm = CALG_SHA_256;
    digest->bytes = sizeof(digest->value);
    return 1;
}

int EachListedFile(ListedFileProc each, void *context)
{
    char line[LINE_CHARS];
    const char *name;
    FileDigest digest;
    long number = 0;

    if (!listText)
        return 0;
    for (const char *at = listText; *at;) {
        size_t length = 0;
        while (at[length] && at[length] != '\n')
            length++;
        number++;
        /* A line too long for any path is no line of the list. */
        int fits = length < ARRAYSIZE(line);
        if (fits) {
            CopyMemory(line, at, length);
            line[length] = '\0';
            if (length && line[length - 1] == '\r')
                line[length - 1] = '\0';
        }
        at += length + (at[length] == '\n');
        if (fits && !line[0])
            continue;
        int parsed = fits && ParseLine(line, &name, &digest);
        each(context, number, parsed ? name : fits ? line : "", parsed ? &digest : NULL);
    }
    return 1;
}

struct Lookup {
    const char *name;
    FileDigest *digest;
    int found;
};

static void MatchName(void *context, long, const char *name, const FileDigest *digest)
{
    Lookup *lookup = (Lookup *)context;

    if (digest && !lookup->found && lstrcmpiA(name, lookup->name) == 0) {
        *lookup->digest = *digest;
        lookup->found = 1;
    }
}

int ListedDigest(const char *path, FileDigest *digest)
{
    int folderLength = lstrlenA(listFolder);
    Lookup lookup = { path + folderLength, digest, 0 };

    if (!listText || lstrlenA(path) <= folderLength ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, folderLength, listFolder,
                       folderLength) != CSTR_EQUAL ||
        !lookup.name[0])
        return 0;
    for (const char *c = lookup.name; *c; c++)
        if (*c == '\\')
            return 0;
    EachListedFile(MatchName, &lookup);
    return lookup.found;
}
