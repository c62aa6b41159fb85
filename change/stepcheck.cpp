#include "change/change.h"
#include <strsafe.h>

/* What the kinds' checks of a journal read back share. Every read stays
 * within the bounds given: the data is another run's, perhaps torn. */

int FieldText(const char *field, size_t chars)
{
    for (size_t i = 0; i < chars; i++)
        if (!field[i])
            return 1;
    return 0;
}

int DrivePath(const char *path)
{
    char drive = (char)(path[0] | 0x20);
    return drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\';
}

int LineIs(const char *line, const char *format, ...)
{
    char expected[2 * MAX_PATH + 64];
    va_list args;

    va_start(args, format);
    HRESULT made = StringCchVPrintfA(expected, ARRAYSIZE(expected), format, args);
    va_end(args);
    return SUCCEEDED(made) && lstrcmpiA(expected, line) == 0;
}

int OffsetText(const void *record, DWORD bytes, ULONG_PTR offset, int list)
{
    const char *text = (const char *)record;

    if (!offset)
        return 1;
    if (offset >= bytes)
        return 0;
    for (ULONG_PTR at = offset, start = offset; at < bytes; at++) {
        if (text[at])
            continue;
        if (!list || at == start)
            return 1;
        start = at + 1;
    }
    return 0;
}

static int SidFits(const BYTE *sid, DWORD room)
{
    return room >= 8 && sid[0] == SID_REVISION && sid[1] <= SID_MAX_SUB_AUTHORITIES &&
           room >= 8u + 4u * sid[1];
}

/* The entries of an ACL, each inside it; an allowed or denied entry's SID
 * inside the entry. */
static int AclFits(const BYTE *at, DWORD room)
{
    ACL acl;

    if (room < sizeof(acl))
        return 0;
    CopyMemory(&acl, at, sizeof(acl));
    if (acl.AclSize < sizeof(acl) || acl.AclSize > room)
        return 0;
    DWORD used = sizeof(acl);
    for (WORD i = 0; i < acl.AceCount; i++) {
        ACE_HEADER ace;
        if (acl.AclSize - used < sizeof(ace))
            return 0;
        CopyMemory(&ace, at + used, sizeof(ace));
        if (ace.AceSize < sizeof(ace) + sizeof(ACCESS_MASK) || ace.AceSize > acl.AclSize - used ||
            (ace.AceType <= ACCESS_MAX_MS_V2_ACE_TYPE &&
             !SidFits(at + used + sizeof(ace) + sizeof(ACCESS_MASK),
                      ace.AceSize - (DWORD)(sizeof(ace) + sizeof(ACCESS_MASK)))))
            return 0;
        used += ace.AceSize;
    }
    return 1;
}

int DescriptorFits(const void *descriptor, DWORD bytes)
{
    SECURITY_DESCRIPTOR_RELATIVE head;
    const BYTE *at = (const BYTE *)descriptor;

    if (bytes < sizeof(head))
        return 0;
    CopyMemory(&head, at, sizeof(head));
    if (head.Revision != SECURITY_DESCRIPTOR_REVISION || !(head.Control & SE_SELF_RELATIVE))
        return 0;
    const DWORD parts[] = { head.Owner, head.Group, head.Sacl, head.Dacl };
    for (size_t i = 0; i < ARRAYSIZE(parts); i++) {
        if (!parts[i])
            continue;
        if (parts[i] < sizeof(head) || parts[i] >= bytes)
            return 0;
        if (i < 2 ? !SidFits(at + parts[i], bytes - parts[i]) : !AclFits(at + parts[i], bytes - parts[i]))
            return 0;
    }
    return 1;
}
