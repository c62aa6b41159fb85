/* Owners, permissions and links as Windows would report them, which Wine does
 * not (it reports the running account as the owner of everything): while a
 * FakeSecurity lasts, the program's security look-ups at folders and registry
 * keys see the descriptors set here (SDDL), and every folder or key left
 * unnamed is owned by SYSTEM with only SYSTEM and Administrators in its DACL. */
#ifndef KX_TRUST_SUPPORT_H
#define KX_TRUST_SUPPORT_H

#include "tests/unit/harness.h"
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct FakeSecurity {
    static std::map<std::string, std::string> folders; /* lower-case path -> SDDL */
    static std::set<std::string> links;                /* lower-case paths of reparse points */
    static std::string keys;                           /* SDDL of every key; empty: the real one */
    static DWORD volumeFlags;                          /* of every volume but... */
    static std::set<std::string> fatRoots;             /* ...these lower-case roots: none */
    static std::map<std::string, std::string> raw;     /* lower-case path -> descriptor bytes */
    static DWORD majorVersion, minorVersion;           /* the system's, as GetVersionExA tells */
    std::vector<std::unique_ptr<ScopedImport>> patches;
    FakeSecurity();
    ~FakeSecurity();
    static void Folder(const std::string &path, const std::string &sddl);
    static void Link(const std::string &path);
    /* A descriptor that SDDL cannot write: the entries built by the caller. */
    static void FolderDescriptor(const std::string &path, PSECURITY_DESCRIPTOR descriptor);
};

/* The SID of the account running the tests, as SDDL writes it. */
std::string RunningAccountSddl();

#endif
