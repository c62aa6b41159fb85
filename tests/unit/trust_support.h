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
    static DWORD volumeFlags;
    std::vector<std::unique_ptr<ScopedImport>> patches;
    FakeSecurity();
    ~FakeSecurity();
    static void Folder(const std::string &path, const std::string &sddl);
    static void Link(const std::string &path);
};

/* The SID of the account running the tests, as SDDL writes it. */
std::string RunningAccountSddl();

#endif
