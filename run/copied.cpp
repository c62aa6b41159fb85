#include "run/run.h"
#include "change/change.h"
#include <strsafe.h>

/* Each copy the commit made from the medium: its target, then its source,
 * each with its zero, then an empty one. A copy that does not fit is not
 * kept: its target is hashed. */
static char copies[32768];
static DWORD copyBytes;

void KeepCopiedSource(const char *target, const char *source)
{
    DWORD targetLength = (DWORD)strlen(target) + 1, sourceLength = (DWORD)strlen(source) + 1;

    if (copyBytes + targetLength + sourceLength >= sizeof(copies))
        return;
    CopyMemory(copies + copyBytes, target, targetLength);
    CopyMemory(copies + copyBytes + targetLength, source, sourceLength);
    copyBytes += targetLength + sourceLength;
}

/* The medium's digest is SHA-256: where the system cannot take one (before
 * XP SP3), /verify could not compare it, so the file is hashed as before. */
static int SystemHasSha256(void)
{
    static int answer; /* 0 not asked yet, 1 yes, 2 no */
    HCRYPTPROV provider = 0;

    if (!answer) {
        answer =
            CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ? 1 : 2;
        if (answer == 1)
            CryptReleaseContext(provider, 0);
    }
    return answer == 1;
}

int ListedDigestOfCopy(const char *target, char *digest)
{
    if (!SystemHasSha256())
        return 0;
    for (const char *at = copies; *at;) {
        const char *source = at + strlen(at) + 1;
        if (lstrcmpiA(at, target) == 0)
            return ListedDigest(source, digest);
        at = source + strlen(source) + 1;
    }
    return 0;
}
