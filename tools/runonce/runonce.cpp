/* A stand-in for the system's RunOnce processor, which a Wine prefix lacks:
 * it only appends its command line to a log, so that a test can see that the
 * setup program started it and with which arguments. The log is the file that
 * KX_RUNONCE_LOG names, else runonce.log next to this program. It leaves the
 * RunOnce entries alone, so the test can still read them. */
#include <windows.h>
#include <cstdio>
#include <cstring>

int main()
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("KX_RUNONCE_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        n = GetModuleFileNameA(NULL, path, sizeof path);
        if (n == 0 || n >= sizeof path)
            return 1;
        char *slash = strrchr(path, '\\');
        if (!slash)
            return 1;
        size_t room = sizeof path - (size_t)(slash + 1 - path);
        if (snprintf(slash + 1, room, "runonce.log") >= (int)room)
            return 1;
    }
    FILE *log = fopen(path, "ab");
    if (!log)
        return 1;
    fprintf(log, "%s\n", GetCommandLineA());
    fclose(log);
    return 0;
}
