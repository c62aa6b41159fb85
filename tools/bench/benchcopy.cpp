/* benchcopy.exe: the reference for the install benchmark, a plain copy of the
 * files an install copies to the same places.
 *
 *   benchcopy.exe <list>
 *
 * Each line of the list is "<source>\t<target>" (full paths); the target's
 * folder is made when it is missing. Exit code 0 when every file was copied,
 * 1 otherwise. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char line[2 * MAX_PATH + 4], folder[MAX_PATH];
    int failed = 0;
    FILE *list = __argc == 2 ? fopen(__argv[1], "r") : NULL;

    if (!list)
        return 1;
    while (fgets(line, sizeof(line), list)) {
        char *target = strchr(line, '\t');
        if (!target)
            continue;
        *target++ = 0;
        target[strcspn(target, "\r\n")] = 0;
        lstrcpynA(folder, target, sizeof(folder));
        char *slash = strrchr(folder, '\\');
        if (slash) {
            *slash = 0;
            CreateDirectoryA(folder, NULL);
        }
        if (!CopyFileA(line, target, FALSE))
            failed = 1;
    }
    fclose(list);
    return failed;
}
