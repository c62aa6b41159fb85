#include "base/base.h"
#include <strsafe.h>

HMODULE LoadSystemLibrary(const char *file, char *path, size_t chars)
{
    UINT length = GetSystemDirectoryA(path, (UINT)chars);

    if (length == 0 || length >= chars ||
        FAILED(StringCchPrintfA(path + length, chars - length, "%s", file)))
        return NULL;
    /* The DLLs it imports are looked for in its own folder first, not beside
     * the program: NT 4 cannot be told to leave the program's folder out of
     * the search. */
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
