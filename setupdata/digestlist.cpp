#include "setupdata/setupdata.h"
#include "change/change.h"
#include <strsafe.h>

/* A list is small: one line of about 100 characters per file of a medium; a
 * larger file is not taken (the install hashes, /check finds no list). */
#define LIST_BYTES_MAX   65536
#define LINE_CHARS       (MAX_PATH + DIGEST_TEXT_CHARS)
#define SHA256_HEX_CHARS 64

/* The list's lines, each with its zero (line ends become zeros). */
static char listText[LIST_BYTES_MAX + 1];
static DWORD listBytes;
static char listFolder[FOLDER_CHARS];

int LoadDigestList(const char *folder)
{
    char path[FOLDER_CHARS + sizeof(KX_DIGEST_LIST)];
    DWORD read = 0;

    listBytes = 0;
    StringCchCopyA(listFolder, ARRAYSIZE(listFolder), folder);
    if (FAILED(StringCchPrintfA(path, ARRAYSIZE(path), "%s%s", folder, KX_DIGEST_LIST)))
        return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int whole = ReadFile(file, listText, sizeof(listText), &read, NULL) && read < sizeof(listText);
    CloseHandle(file);
    if (!whole)
        return 0;
    for (listBytes = 0; listBytes < read; listBytes++)
        if (listText[listBytes] == '\r' || listText[listBytes] == '\n')
            listText[listBytes] = '\0';
    listText[listBytes] = '\0';
    return 1;
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
        strlen(blank + 1) != SHA256_HEX_CHARS)
        return 0;
    for (char *c = sizeBlank + 1; *c; c++)
        if (!((*c >= '0' && *c <= '9') || (c > blank && *c >= 'a' && *c <= 'f') || c == blank))
            return 0;
    *sizeBlank = *blank = '\0';
    return SUCCEEDED(
        StringCchPrintfA(digest, DIGEST_TEXT_CHARS, "sha256:%s %s", blank + 1, sizeBlank + 1));
}

void EachListedFile(ListedFileProc each, void *context)
{
    char line[LINE_CHARS], digest[DIGEST_TEXT_CHARS];

    for (const char *at = listText; at < listText + listBytes; at += strlen(at) + 1) {
        /* A line too long for any path is no line of the list. */
        int parsed =
            *at && SUCCEEDED(StringCchCopyA(line, ARRAYSIZE(line), at)) && ParseLine(line, digest);
        if (*at)
            each(context, parsed ? line : at, parsed ? digest : NULL);
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
    int folderLength = (int)strlen(listFolder);
    Lookup lookup = { path + folderLength, digest, 0 };

    if ((int)strlen(path) <= folderLength ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, folderLength, listFolder,
                       folderLength) != CSTR_EQUAL)
        return 0;
    EachListedFile(MatchName, &lookup);
    return lookup.found;
}
