/* Spooler test support:
 *  - TestModels: three models with file names of different lengths in SetupState;
 *  - SpoolerPrefix: readies Wine's real spooler for them (seeds the 64-bit
 *    spooler's Datatype quirk, puts tremon.dll into system32) and removes every
 *    trace afterwards (printers, drivers, monitor, registry, files);
 *  - FakeSpooler: replaces the spooler imports with a recording fake whose
 *    monitor list, existing printers and drivers, and refusals a test shapes. */
#ifndef KX_SPOOLER_SUPPORT_H
#define KX_SPOOLER_SUPPORT_H

#include "tests/unit/harness.h"
#include "setupdata/setupdata.h"
#include <winspool.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

extern const char *const testModel[MODEL_SLOTS];

/* Fills the model fields of `state`, `portName` and `selectedComponents`. */
void UseTestModels(SetupStateRecord *state, DWORD selected, const char *port);
/* The four file names of a slot as the driver's dependent-file list: each name
 * with its zero, then one more zero. */
std::string DependentListOf(const SetupStateRecord &state, int slot);

/* The spooler's key below HKLM. */
extern const char printKey[];
/* Wine's 64-bit spooler leaves a half-made printer unless its key already
 * holds a data type; the program passes none, as it should. */
void SeedDatatype(const char *model);
/* Deletes the models' printers and drivers, and the language monitor (which
 * unloads its DLL, so that the file can go). */
void RemoveFromSpooler(const char *const models[MODEL_SLOTS]);

struct SpoolerPrefix {
    std::unique_ptr<RegistrySnapshot> print, devices, ports;
    std::string monitorDll;
    bool copiedMonitor;
    SpoolerPrefix();
    ~SpoolerPrefix();
};

std::string DriverKey(const char *model);
std::vector<std::string> ListedMonitors();
/* The printer's level-2 record as strings; false when no such printer. */
struct PrinterFacts {
    std::string name, driver, comment, port, processor, location;
    DWORD attributes, priority;
};
bool ReadPrinter(const char *name, PrinterFacts *facts);

struct FakeSpooler {
    /* shaping */
    std::vector<std::string> monitors;     /* what EnumMonitorsA lists */
    std::set<std::string> existing;        /* printers OpenPrinterA finds */
    std::set<std::string> refuseDriver, refuseDelete, refuseDriverRemoval;
    /* installed drivers; as on Windows, one stays (3001) while a printer of its name exists */
    std::set<std::string> drivers;
    DWORD refusal = ERROR_ACCESS_DENIED;
    /* observations */
    std::vector<std::string> calls;        /* "AddDriver <model>", "Close <model>", ... */
    DWORD enumLevel = 0, enumBytes = 0;
    std::vector<std::string> driverMonitors, printerPorts; /* one per addition */
    std::vector<std::string> addedMonitor;                 /* name, environment, DLL */
    std::vector<DWORD> openAccess;

    FakeSpooler();
    ~FakeSpooler();
    size_t Count(const std::string &call) const;
    std::vector<std::unique_ptr<ScopedImport>> patches;
};

#endif
