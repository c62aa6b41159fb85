#include "setupdata/setupdata.h"
#include <strsafe.h>

/* A list is small (one line per file of a medium); a larger file is not one. */
#define LIST_BYTES_MAX (1024 * 1024)
#define LINE_CHARS (MAX_PATH + DIGEST_TEXT_CHARS)
#define SHA256_HEX_CHARS 64

static char *listText;
static char listFolder[FOLDER_CHARS];

int LoadDigestList(const char *folder)
{
    char path[FOLDER_CHARS + sizeof(KX_DIGEST_LIST)];
    DWORD size, read = 0;

    if (listText)
        HeapFree(GetProcessHeap(), 0, listText);
    listText = NULL;
    StringCchCopyA(listFolder, ARRAYSIZE(listFolder), folder);
    if (FAILED(StringCchPrintfA(path, ARRAYSIZE(path), "%s%s", folder, KX_DIGEST_LIST)))
        return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    size = GetFileSize(file, NULL);
    if (size <= LIST_BYTES_MAX && (listText = (char *)HeapAlloc(GetProcessHeap(), 0, size + 1)) &&
        (!ReadFile(file, listText, size, &read, NULL) || read != size)) {
        HeapFree(GetProcessHeap(), 0, listText);
        listText = NULL;
    }
    CloseHandle(file);
    if (listText)
        listText[size] = '\0';
    return listText != NULL;
}

/* "name size sha256" read from the right (the name is what stands before
 * the last two fields) into the record's form of a digest; 0 for a line
 * that is not one. The hash is taken in lower case only: the record's
 * texts are compared as they stand. */
static int ParseLine(char *line, char *digest)
{
    char *blank = NULL, *sizeBlank = NULL;

    for (char *c = line; *c; c++)
        if (*c == ' ') {
            sizeBlank = blank;
            blank = c;
        }
    if (!sizeBlank || sizeBlank == line || sizeBlank + 1 == blank ||
        lstrlenA(blank + 1) != SHA256_HEX_CHARS)
        return 0;
    for (char *c = sizeBlank + 1; *c; c++)
        if (!((*c >= '0' && *c <= '9') || (c > blank && *c >= 'a' && *c <= 'f') || c == blank))
            return 0;
    *sizeBlank = *blank = '\0';
    return SUCCEEDED(StringCchPrintfA(digest, DIGEST_TEXT_CHARS, "sha256:%s %s", blank + 1,
                                      sizeBlank + 1));
}

void EachListedFile(ListedFileProc each, void *context)
{
    char line[LINE_CHARS], digest[DIGEST_TEXT_CHARS];

    for (const char *at = listText; at && *at;) {
        size_t length = 0;
        while (at[length] && at[length] != '\n')
            length++;
        /* A line too long for any path is no line of the list. */
        StringCchCopyNA(line, ARRAYSIZE(line), at, length);
        int fits = length < ARRAYSIZE(line);
        if (fits && length && line[length - 1] == '\r')
            line[length - 1] = '\0';
        at += length + (at[length] == '\n');
        if (line[0])
            each(context, line, fits && ParseLine(line, digest) ? digest : NULL);
    }
}

struct Lookup {
    const char *name;
    char *digest;
    int found;
};

static void MatchName(void *context, const char *name, const char *digest)
{
    Lookup *lookup = (Lookup *)context;

    if (digest && !lookup->found && lstrcmpiA(name, lookup->name) == 0)
        lookup->found = SUCCEEDED(StringCchCopyA(lookup->digest, DIGEST_TEXT_CHARS, digest));
}

int ListedDigest(const char *path, char *digest)
{
    int folderLength = lstrlenA(listFolder);
    Lookup lookup = { path + folderLength, digest, 0 };

    if (lstrlenA(path) <= folderLength ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, folderLength, listFolder,
                       folderLength) != CSTR_EQUAL)
        return 0;
    EachListedFile(MatchName, &lookup);
    return lookup.found;
}
