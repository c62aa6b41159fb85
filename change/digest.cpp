#include "change/change.h"
#include <strsafe.h>

#define DIGEST_READ_BYTES 65536

/* SHA-256 comes with the AES provider (XP SP3 and later); earlier systems'
 * base provider has SHA-1 only. */
static HCRYPTPROV OpenProvider(ALG_ID algorithm)
{
    HCRYPTPROV provider = 0;

    if (algorithm == CALG_SHA_256 &&
        !CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        provider = 0;
    if (algorithm == CALG_SHA1 &&
        !CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        provider = 0;
    return provider;
}

static int HashContent(HANDLE file, HCRYPTPROV provider, FileDigest *digest, BYTE *buffer)
{
    HCRYPTHASH hash = 0;
    DWORD read = 0, bytes = sizeof(digest->value);
    int done = 0;

    if (!CryptCreateHash(provider, digest->algorithm, 0, 0, &hash))
        return 0;
    while (ReadFile(file, buffer, DIGEST_READ_BYTES, &read, NULL) && read)
        if (!CryptHashData(hash, buffer, read, 0))
            break;
    done = !read && CryptGetHashParam(hash, HP_HASHVAL, digest->value, &bytes, 0);
    digest->bytes = done ? bytes : 0;
    CryptDestroyHash(hash);
    return done;
}

DWORD DigestFile(const char *path, ALG_ID algorithm, FileDigest *digest)
{
    static const ALG_ID strongestFirst[] = { CALG_SHA_256, CALG_SHA1 };
    HCRYPTPROV provider = 0;
    BY_HANDLE_FILE_INFORMATION info;
    DWORD code = NO_ERROR;
    BYTE *buffer = NULL;

    ZeroMemory(digest, sizeof(*digest));
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    if (!GetFileInformationByHandle(file, &info)) {
        code = GetLastError();
        goto done;
    }
    digest->sizeLow = info.nFileSizeLow;
    digest->sizeHigh = info.nFileSizeHigh;
    for (size_t i = 0; !provider && i < ARRAYSIZE(strongestFirst); i++)
        if (!algorithm || algorithm == strongestFirst[i])
            provider = OpenProvider(digest->algorithm = strongestFirst[i]);
    /* A system without CryptoAPI keeps the size alone. */
    if (!provider) {
        digest->algorithm = 0;
        goto done;
    }
    buffer = (BYTE *)AllocateMemory(DIGEST_READ_BYTES);
    if (!buffer || !HashContent(file, provider, digest, buffer))
        code = buffer ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
    if (code == NO_ERROR && !digest->bytes)
        code = ERROR_READ_FAULT;
done:
    if (buffer)
        FreeMemory(buffer);
    if (provider)
        CryptReleaseContext(provider, 0);
    CloseHandle(file);
    return code;
}

int SameDigest(const FileDigest *recorded, const FileDigest *now)
{
    return recorded->sizeLow == now->sizeLow && recorded->sizeHigh == now->sizeHigh &&
           recorded->algorithm == now->algorithm && recorded->bytes == now->bytes &&
           memcmp(recorded->value, now->value, recorded->bytes) == 0;
}

int RandomName(char *name, size_t chars)
{
    HCRYPTPROV provider = 0;
    BYTE random[8];
    int made = CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
               CryptGenRandom(provider, sizeof(random), random);

    if (provider)
        CryptReleaseContext(provider, 0);
    if (!made)
        return 0;
    for (size_t i = 0; i < sizeof(random); i++)
        if (FAILED(StringCchPrintfA(name + 2 * i, chars - 2 * i, "%02x", random[i])))
            return 0;
    return 1;
}

int FormatDigest(const FileDigest *digest, char *text, size_t chars)
{
    const char *name = digest->algorithm == CALG_SHA_256 ? "sha256"
                       : digest->algorithm == CALG_SHA1  ? "sha1"
                                                         : "size";
    size_t used;

    if (FAILED(StringCchPrintfA(text, chars, "%s:", name)))
        return 0;
    used = strlen(text);
    for (DWORD i = 0; i < digest->bytes; i++, used += 2)
        if (FAILED(StringCchPrintfA(text + used, chars - used, "%02x", digest->value[i])))
            return 0;
    return SUCCEEDED(StringCchPrintfA(text + used, chars - used, " %lu", digest->sizeLow));
}
