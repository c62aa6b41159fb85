#include "run/run.h"
#include <strsafe.h>

/* Each copy the commit made from the medium: its target, then its source,
 * each with its zero, then an empty one. */
static char *copies;
static DWORD copyBytes;

void KeepCopiedSource(const char *target, const char *source)
{
    DWORD targetLength = (DWORD)lstrlenA(target) + 1, sourceLength = (DWORD)lstrlenA(source) + 1;
    DWORD grownBytes = copyBytes + targetLength + sourceLength + 1;
    char *grown = (char *)(copies ? HeapReAlloc(GetProcessHeap(), 0, copies, grownBytes)
                                  : HeapAlloc(GetProcessHeap(), 0, grownBytes));
    if (!grown)
        return;
    copies = grown;
    CopyMemory(copies + copyBytes, target, targetLength);
    CopyMemory(copies + copyBytes + targetLength, source, sourceLength);
    copyBytes = grownBytes - 1;
    copies[copyBytes] = '\0';
}

/* The medium's digest is SHA-256: where the system cannot take one (before
 * XP SP3), /verify could not compare it, so the file is hashed as before. */
static int SystemHasSha256(void)
{
    static int known = -1;
    HCRYPTPROV provider = 0;

    if (known < 0) {
        known = CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT);
        if (known)
            CryptReleaseContext(provider, 0);
    }
    return known;
}

int ListedDigestOfCopy(const char *target, FileDigest *digest)
{
    if (!copies || !SystemHasSha256())
        return 0;
    for (const char *at = copies; *at;) {
        const char *source = at + lstrlenA(at) + 1;
        if (lstrcmpiA(at, target) == 0)
            return ListedDigest(source, digest);
        at = source + lstrlenA(source) + 1;
    }
    return 0;
}
