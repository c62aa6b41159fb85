#include "spooler/spooler.h"
#include "change/change.h"
#include <winspool.h>
#include <string.h>
#include <stddef.h>
#include <strsafe.h>

#define MONITOR_LIST_BYTES 80
#define DEPENDENT_LIST_BYTES 256

/* The steps' lines, which a journal read back is checked against. */
#define DRIVER_DELETE_LINE "spooler delete driver \"%s\""
#define PRINTER_DELETE_LINE "spooler delete printer \"%s\""
#define DRIVER_BACK_LINE "spooler add driver \"%s\" back"
#define PRINTER_BACK_LINE "spooler add printer \"%s\" back"

static char *const monitorName = (char *)KX_MONITOR_NAME;
static char *const spoolerEnvironment = (char *)KX_SPOOLER_ENVIRONMENT;
static char *const monitorDll = (char *)"tremon.dll";
static char *const printProcessor = (char *)"WinPrint";
static char *const noLocation = (char *)"";

/* ---- undo: what each change of the spooler leaves to put back ---- */

static DWORD UndoMonitor(void *)
{
    SetLastError(NO_ERROR);
    if (DeleteMonitorA(NULL, spoolerEnvironment, monitorName))
        return NO_ERROR;
    DWORD code = GetLastError();
    return code == ERROR_UNKNOWN_PRINT_MONITOR ? NO_ERROR : code;
}

static DWORD AddMonitor(void)
{
    MONITOR_INFO_2A monitor;
    monitor.pName = monitorName;
    monitor.pEnvironment = spoolerEnvironment;
    monitor.pDLLName = monitorDll;
    return StatusOf(AddMonitorA(NULL, 2, (LPBYTE)&monitor));
}

static int MonitorListed(void);

/* Journaled before the copy of the DLL over an installation, so that a stop
 * puts the earlier DLL back first, and then adds the monitor that loads it;
 * a run that stopped before the monitor went finds it still there. */
static DWORD UndoMonitorBack(void *)
{
    if (MonitorListed())
        return NO_ERROR;
    DWORD code = AddMonitor();
    return code == ERROR_PRINT_MONITOR_ALREADY_INSTALLED ? NO_ERROR : code;
}

struct NameUndo {
    char name[NAME_CHARS];
};

static DWORD UndoDriver(void *data)
{
    /* A missing driver may be refused without an error of its own (Wine). */
    SetLastError(NO_ERROR);
    if (DeletePrinterDriverA(NULL, spoolerEnvironment, ((NameUndo *)data)->name))
        return NO_ERROR;
    DWORD code = GetLastError();
    return code == ERROR_UNKNOWN_PRINTER_DRIVER ? NO_ERROR : code;
}

static DWORD RemovePrinter(char *name)
{
    HANDLE printer = NULL;
    PRINTER_DEFAULTSA access = { NULL, NULL, PRINTER_ALL_ACCESS };

    if (!OpenPrinterA(name, &printer, &access))
        return NO_ERROR;
    DWORD code = StatusOf(DeletePrinter(printer));
    ClosePrinter(printer);
    return code;
}

static DWORD UndoPrinter(void *data)
{
    return RemovePrinter(((NameUndo *)data)->name);
}

/* The earlier records are kept as the spooler gave them, each text pointer
 * turned into its offset from the record's start: a journal step holds no
 * address, so that the next start can replay it. */
static void PointersToOffsets(const BYTE *from, LPSTR *const texts[], size_t count)
{
    for (size_t t = 0; t < count; t++)
        if (*texts[t])
            *texts[t] = (LPSTR)(ULONG_PTR)((const BYTE *)*texts[t] - from);
}

static void OffsetsToPointers(BYTE *record, LPSTR *const texts[], size_t count)
{
    for (size_t t = 0; t < count; t++)
        if (*texts[t])
            *texts[t] = (LPSTR)(record + (ULONG_PTR)*texts[t]);
}

#define DRIVER_TEXTS(driver)                                                                    \
    { &(driver)->pName, &(driver)->pEnvironment, &(driver)->pDriverPath, &(driver)->pDataFile,  \
      &(driver)->pConfigFile, &(driver)->pHelpFile, &(driver)->pDependentFiles,                 \
      &(driver)->pMonitorName, &(driver)->pDefaultDataType }
#define PRINTER_TEXTS(printer)                                                                  \
    { &(printer)->pServerName, &(printer)->pPrinterName, &(printer)->pShareName,                \
      &(printer)->pPortName, &(printer)->pDriverName, &(printer)->pComment,                     \
      &(printer)->pLocation, &(printer)->pSepFile, &(printer)->pPrintProcessor,                 \
      &(printer)->pDatatype, &(printer)->pParameters }

/* The earlier driver's record, added again over the one of the same name
 * (adding replaces). */
static DWORD UndoDriverBack(void *data)
{
    DRIVER_INFO_3A *driver = (DRIVER_INFO_3A *)data;
    LPSTR *const texts[] = DRIVER_TEXTS(driver);
    OffsetsToPointers((BYTE *)data, texts, ARRAYSIZE(texts));
    return StatusOf(AddPrinterDriverA(NULL, 3, (LPBYTE)data));
}

/* The earlier printer's record, its device mode and security descriptor
 * included: the run's printer of that name goes first. */
static DWORD UndoPrinterBack(void *data)
{
    PRINTER_INFO_2A *printer = (PRINTER_INFO_2A *)data;
    LPSTR *const texts[] = PRINTER_TEXTS(printer);
    OffsetsToPointers((BYTE *)data, texts, ARRAYSIZE(texts));
    if (printer->pDevMode)
        printer->pDevMode = (LPDEVMODEA)((BYTE *)data + (ULONG_PTR)printer->pDevMode);
    if (printer->pSecurityDescriptor)
        printer->pSecurityDescriptor =
            (PSECURITY_DESCRIPTOR)((BYTE *)data + (ULONG_PTR)printer->pSecurityDescriptor);
    DWORD code = RemovePrinter(printer->pPrinterName);
    if (code != NO_ERROR)
        return code;
    HANDLE added = AddPrinterA(NULL, 2, (LPBYTE)data);
    if (!added)
        return GetLastError();
    ClosePrinter(added);
    return NO_ERROR;
}

/* The spooler copies a driver's files from the driver directory into its
 * version folder ("2" on NT 4, "3" later), over the earlier driver's files
 * there; deleting the driver leaves those copies behind. Each is journaled as
 * a file of the run: the earlier one backed up, an absent one deleted again.
 * Recorded before the driver's own undo, so that it runs after the driver is
 * gone and the spooler holds none of the files any more. */
static int JournalVersionFiles(const char *driverDirectory, const char *const files[4])
{
    static const char *const versionFolders[] = { "2", "3" };
    char path[MAX_PATH];

    if (!Journaling())
        return 1;
    for (size_t v = 0; v < ARRAYSIZE(versionFolders); v++)
        for (int n = 0; n < 4; n++)
            if (files[n][0] &&
                (FAILED(StringCchPrintfA(path, ARRAYSIZE(path), "%s\\%s\\%s", driverDirectory,
                                         versionFolders[v], files[n])) ||
                 !JournalTarget(path)))
                return 0;
    return 1;
}

/* The whole list: a monitor that was there before must not be deleted again. */
static int MonitorListed(void)
{
    DWORD needed = 0, count = 0;
    BYTE *list = NULL;
    int listed = 0;

    if (!EnumMonitorsA(NULL, 1, NULL, 0, &needed, &count) && needed)
        list = (BYTE *)AllocateMemory(needed);
    if (list && EnumMonitorsA(NULL, 1, list, needed, &needed, &count))
        for (DWORD i = 0; i < count; i++) {
            const MONITOR_INFO_1A *entry = (const MONITOR_INFO_1A *)list + i;
            listed |= entry->pName && strcmp(entry->pName, monitorName) == 0;
        }
    /* A list that cannot be read counts as holding it: kept rather than lost. */
    else
        listed = 1;
    if (list)
        FreeMemory(list);
    return listed;
}

static void JournalName(UndoKind kind, const char *format, const char *name)
{
    NameUndo *undoName = (NameUndo *)Journal(kind, sizeof(NameUndo), format, name);
    if (undoName)
        StringCchCopyA(undoName->name, ARRAYSIZE(undoName->name), name);
}

/* A driver of the model's name is put back as it was; none is deleted again.
 * Read before the run deletes or replaces it. */
static void JournalDriver(char *model)
{
    DWORD needed = 0, count = 0;
    BYTE *list = NULL;

    if (!Journaling())
        return;
    if (!EnumPrinterDriversA(NULL, spoolerEnvironment, 3, NULL, 0, &needed, &count) && needed)
        list = (BYTE *)AllocateMemory(needed);
    if (list && EnumPrinterDriversA(NULL, spoolerEnvironment, 3, list, needed, &needed, &count)) {
        const DRIVER_INFO_3A *drivers = (const DRIVER_INFO_3A *)list;
        for (DWORD i = 0; i < count; i++) {
            if (!drivers[i].pName || lstrcmpiA(drivers[i].pName, model) != 0)
                continue;
            /* Copied whole, its record first. */
            BYTE *copy = (BYTE *)Journal(StepDriverBack, needed, DRIVER_BACK_LINE,
                                         model);
            if (copy) {
                CopyMemory(copy, list, needed);
                DRIVER_INFO_3A *driver = (DRIVER_INFO_3A *)copy;
                *driver = drivers[i];
                LPSTR *const texts[] = DRIVER_TEXTS(driver);
                PointersToOffsets(list, texts, ARRAYSIZE(texts));
            }
            FreeMemory(list);
            return;
        }
    }
    if (list)
        FreeMemory(list);
    JournalName(StepDriver, DRIVER_DELETE_LINE, model);
}

/* Likewise a printer of the model's name, read straight into the journal. */
static void JournalPrinter(char *model)
{
    HANDLE printer = NULL;
    DWORD needed = 0;

    if (!Journaling())
        return;
    if (OpenPrinterA(model, &printer, NULL)) {
        BYTE *record = NULL;
        if (!GetPrinterA(printer, 2, NULL, 0, &needed) && needed)
            record = (BYTE *)Journal(StepPrinterBack, needed + NAME_CHARS,
                                     PRINTER_BACK_LINE, model);
        if (record) {
            PRINTER_INFO_2A *info = (PRINTER_INFO_2A *)record;
            DWORD size = needed;
            /* A record that cannot be read still removes the run's printer. */
            if (!GetPrinterA(printer, 2, record, size, &needed))
                ZeroMemory(record, sizeof(*info));
            StringCchCopyA((char *)record + size, NAME_CHARS, model);
            info->pPrinterName = (char *)record + size;
            LPSTR *const texts[] = PRINTER_TEXTS(info);
            PointersToOffsets(record, texts, ARRAYSIZE(texts));
            /* No text, but like one a pointer into the record. */
            if (info->pDevMode)
                info->pDevMode = (LPDEVMODEA)(ULONG_PTR)((BYTE *)info->pDevMode - record);
            if (info->pSecurityDescriptor)
                info->pSecurityDescriptor =
                    (PSECURITY_DESCRIPTOR)(ULONG_PTR)((BYTE *)info->pSecurityDescriptor - record);
        }
        ClosePrinter(printer);
        if (record)
            return;
    }
    JournalName(StepPrinter, PRINTER_DELETE_LINE, model);
}

/* The small buffer is deliberate: a spooler whose list does not fit gets the
 * monitor added without a look, and a second addition is harmless. */
/* The run deleted the monitor before its copy (a plan as well: it lists
 * that deletion): it is added again without a look. */
static int monitorFreed;

static void EnsureMonitor(void)
{
    BYTE list[MONITOR_LIST_BYTES];
    DWORD needed = 0, count = 0;

    if (!monitorFreed && EnumMonitorsA(NULL, 1, list, sizeof(list), &needed, &count)) {
        const MONITOR_INFO_1A *entries = (const MONITOR_INFO_1A *)list;
        for (DWORD i = 0; i < count; i++)
            if (entries[i].pName && strcmp(entries[i].pName, monitorName) == 0)
                return;
    }

    monitorFreed = 0;
    if (Journaling() && !MonitorListed())
        Journal(StepMonitor, 0, "spooler delete monitor \"%s\"", monitorName);
    if (!Act("spooler add monitor \"%s\" environment \"%s\" dll \"%s\"", monitorName,
             spoolerEnvironment, monitorDll))
        return;
    DWORD code = AddMonitor();
    if (code == ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
        LogLine("  already present");
    else
        ActDone(code == NO_ERROR, code);
}

/* The spooler keeps the monitor's DLL loaded, and a copy over a DLL in use
 * waits for the restart: the monitor goes first where the spooler lets it
 * go (no port uses it), and comes again with the drivers. */
void JournalMonitorBack(void)
{
    if (MonitorListed())
        Journal(StepMonitorBack, 0, "spooler add monitor \"%s\" back", monitorName);
}

void FreeMonitor(void)
{
    if (!MonitorListed())
        return;
    JournalMonitorBack();
    monitorFreed = 1;
    if (!Act("spooler delete monitor \"%s\" (its DLL is replaced)", monitorName))
        return;
    SetLastError(NO_ERROR);
    BOOL deleted = DeleteMonitorA(NULL, spoolerEnvironment, monitorName);
    ActDone(deleted, GetLastError());
}

/* Each name followed by its zero, then an empty entry; names are bounded by
 * their 32-byte fields, so four of them always fit. */
static void BuildDependentFiles(char *list, const char *const names[4])
{
    size_t used = 0;
    for (int n = 0; n < 4; n++) {
        size_t length = strnlen(names[n], FILE_CHARS - 1);
        memcpy(list + used, names[n], length);
        used += length;
        list[used++] = '\0';
    }
    list[used] = '\0';
}

/* Deletes the printer bearing `name` when there is one that may be administered. */
static void DeleteExistingPrinter(char *name)
{
    PRINTER_DEFAULTSA access = { NULL, NULL, PRINTER_ALL_ACCESS };
    HANDLE printer = NULL;

    if (!OpenPrinterA(name, &printer, &access))
        return;
    if (Act("spooler delete printer \"%s\"", name)) {
        BOOL deleted = DeletePrinter(printer);
        DWORD code = StatusOf(deleted);
        ActDone(deleted, code);
        if (!deleted)
            ShowSystemError(code, KX_CAPTION_DELETE_PRINTER);
    }
    ClosePrinter(printer);
}

/* Its result is not needed: a driver that is not there is no fault, and the
 * log says so. Wine's spooler refuses a missing driver without setting an
 * error, so the last error is cleared first: the log would otherwise name
 * whatever failed before. */
static void DeleteDriver(char *model)
{
    if (!Act("spooler delete driver \"%s\"", model))
        return;
    SetLastError(NO_ERROR);
    BOOL deleted = DeletePrinterDriverA(NULL, NULL, model);
    DWORD code = StatusOf(deleted);
    if (!deleted && (code == NO_ERROR || code == ERROR_UNKNOWN_PRINTER_DRIVER))
        LogLine("  not installed");
    else
        ActDone(deleted, code);
}

static int AddDriver(DRIVER_INFO_3A *driver)
{
    if (!Act("spooler add driver \"%s\" environment \"%s\" version %lu driver \"%s\" data \"%s\" "
             "config \"%s\" help \"%s\" monitor \"%s\"", driver->pName, driver->pEnvironment,
             (unsigned long)driver->cVersion, driver->pDriverPath, driver->pDataFile,
             driver->pConfigFile, driver->pHelpFile, driver->pMonitorName))
        return 1;
    BOOL added = AddPrinterDriverA(NULL, 3, (LPBYTE)driver);
    DWORD code = StatusOf(added);
    ActDone(added, code);
    if (!added)
        KeepSystemError(code, KX_CAPTION_ADD_DRIVER);
    return added;
}

/* The handle the spooler hands back is used for nothing. */
static int AddPrinter(PRINTER_INFO_2A *printer)
{
    if (!Act("spooler add printer \"%s\" driver \"%s\" port \"%s\" processor \"%s\"",
             printer->pPrinterName, printer->pDriverName, printer->pPortName,
             printer->pPrintProcessor))
        return 1;
    HANDLE added = AddPrinterA(NULL, 2, (LPBYTE)printer);
    DWORD code = StatusOf(added != NULL);
    ActDone(added != NULL, code);
    if (!added) {
        KeepSystemError(code, KX_CAPTION_ADD_PRINTER);
        return 0;
    }
    ClosePrinter(added);
    return 1;
}

/* In a repair or an upgrade a printer of the model's name already on the
 * model's driver and the run's port is kept: deleting it would take its
 * settings, shares and permissions (and a printer with jobs cannot be
 * deleted), and the driver just added under the same name is the one it
 * prints with. An install of the same version makes it anew, as it always did. */
static int keepPlaced;

void KeepPlacedPrinters(int keep)
{
    keepPlaced = keep;
}

static int PrinterInPlace(char *model, const char *port)
{
    /* Room for a printer's settings; one with more is made anew. */
    static union {
        PRINTER_INFO_2A info;
        BYTE bytes[16384];
    } placed;
    HANDLE printer = NULL;
    DWORD needed;
    int kept = 0;

    if (!keepPlaced || !OpenPrinterA(model, &printer, NULL))
        return 0;
    if (GetPrinterA(printer, 2, placed.bytes, sizeof(placed), &needed) && placed.info.pDriverName &&
        placed.info.pPortName && lstrcmpiA(placed.info.pDriverName, model) == 0 &&
        lstrcmpiA(placed.info.pPortName, port) == 0) {
        LogLine("spooler printer \"%s\" kept", model);
        kept = 1;
    }
    ClosePrinter(printer);
    return kept;
}

int AddPrinters(SetupStateRecord *state)
{
    char dependentFiles[DEPENDENT_LIST_BYTES];
    DRIVER_INFO_3A driver;
    PRINTER_INFO_2A printer;

    EnsureMonitor();

    ZeroMemory(&driver, sizeof(driver));
    driver.cVersion = 2;
    driver.pEnvironment = spoolerEnvironment;
    driver.pDependentFiles = dependentFiles;
    driver.pMonitorName = monitorName;
    driver.pDefaultDataType = NULL;

    ZeroMemory(&printer, sizeof(printer));
    printer.pPortName = state->portName;
    printer.pLocation = noLocation;
    printer.pPrintProcessor = printProcessor;
    printer.Attributes = PRINTER_ATTRIBUTE_DEFAULT;
    printer.Priority = 1;

    for (int slot = 0; slot < MODEL_SLOTS; slot++) {
        if (!(state->selectedComponents & (1u << slot)))
            continue;

        char *model = state->modelName[slot];
        const char *const files[4] = { state->driverFile[slot], state->dataFile[slot],
                                       state->configFile[slot], state->helpFile[slot] };
        driver.pName = model;
        driver.pDriverPath = state->driverFile[slot];
        driver.pDataFile = state->dataFile[slot];
        driver.pConfigFile = state->configFile[slot];
        driver.pHelpFile = state->helpFile[slot];
        BuildDependentFiles(dependentFiles, files);
        printer.pPrinterName = model;
        printer.pDriverName = model;
        printer.pComment = model;

        if (!JournalVersionFiles(state->driverDirectory, files)) {
            KeepSystemError(GetLastError(), KX_CAPTION_ADD_DRIVER);
            return 0;
        }
        JournalDriver(model);
        DeleteDriver(model);
        if (!AddDriver(&driver))
            return 0;
        if (PrinterInPlace(model, state->portName))
            continue;
        JournalPrinter(model);
        DeleteExistingPrinter(model);
        if (!AddPrinter(&printer))
            return 0;
    }
    return 1;
}

static const char *Presence(int there)
{
    return there ? "ok" : "missing";
}

void VerifySpooler(const SetupStateRecord *state, VerifyReport report, void *context)
{
    DWORD needed = 0, count = 0;
    BYTE *list = NULL;

    report(context, "language monitor", monitorName, Presence(MonitorListed()));
    if (!EnumPrinterDriversA(NULL, spoolerEnvironment, 3, NULL, 0, &needed, &count) && needed)
        list = (BYTE *)AllocateMemory(needed);
    if (list && !EnumPrinterDriversA(NULL, spoolerEnvironment, 3, list, needed, &needed, &count))
        count = 0;
    for (int slot = 0; slot < MODEL_SLOTS; slot++) {
        if (!(state->selectedComponents & (1u << slot)))
            continue;
        const char *model = state->modelName[slot];
        const DRIVER_INFO_3A *driver = NULL;
        for (DWORD i = 0; list && i < count; i++)
            if (((const DRIVER_INFO_3A *)list)[i].pName &&
                lstrcmpiA(((const DRIVER_INFO_3A *)list)[i].pName, model) == 0)
                driver = (const DRIVER_INFO_3A *)list + i;
        report(context, "printer driver", model, Presence(driver != NULL));
        const char *const files[] = { driver ? driver->pDriverPath : NULL,
                                      driver ? driver->pDataFile : NULL,
                                      driver ? driver->pConfigFile : NULL,
                                      driver ? driver->pHelpFile : NULL };
        for (size_t f = 0; f < ARRAYSIZE(files); f++)
            if (files[f] && files[f][0])
                report(context, "printer driver file", files[f],
                       Presence(GetFileAttributesA(files[f]) != INVALID_FILE_ATTRIBUTES));
        HANDLE printer = NULL;
        int there = OpenPrinterA((char *)model, &printer, NULL);
        if (there)
            ClosePrinter(printer);
        report(context, "printer", model, Presence(there));
    }
    if (list)
        FreeMemory(list);
}

/* ---- the checks of a journal read back ---- */

static const char *CheckName(const void *data, DWORD bytes, const char *line, int printer)
{
    const NameUndo *undo = (const NameUndo *)data;
    if (bytes < sizeof(NameUndo) || !FieldText(undo->name, NAME_CHARS) || !undo->name[0])
        return KX_STEP_UNENDED;
    return LineIs(line, printer ? PRINTER_DELETE_LINE : DRIVER_DELETE_LINE, undo->name)
               ? NULL
               : KX_STEP_OTHER_LINE;
}

static const char *CheckDriver(const void *data, DWORD bytes, const char *line)
{
    return CheckName(data, bytes, line, 0);
}

static const char *CheckPrinter(const void *data, DWORD bytes, const char *line)
{
    return CheckName(data, bytes, line, 1);
}

/* Every text of a saved record inside it, and the name its undo acts on
 * there: an absent name would reach the spooler as the server itself. */
static const char *CheckTexts(const void *data, DWORD bytes, LPSTR *const texts[], size_t count,
                              const char *name, LPSTR dependents, const char *line, const char *format)
{
    for (size_t t = 0; t < count; t++)
        if (!OffsetText(data, bytes, (ULONG_PTR)*texts[t], *texts[t] == dependents))
            return KX_STEP_SHORT;
    if (!name || !((const char *)data)[(ULONG_PTR)name])
        return KX_STEP_UNENDED;
    return LineIs(line, format, (const char *)data + (ULONG_PTR)name) ? NULL : KX_STEP_OTHER_LINE;
}

static const char *CheckDriverBack(const void *data, DWORD bytes, const char *line)
{
    if (bytes < sizeof(DRIVER_INFO_3A))
        return KX_STEP_SHORT;
    DRIVER_INFO_3A driver = *(const DRIVER_INFO_3A *)data;
    LPSTR *const texts[] = DRIVER_TEXTS(&driver);
    return CheckTexts(data, bytes, texts, ARRAYSIZE(texts), driver.pName, driver.pDependentFiles, line,
                      DRIVER_BACK_LINE);
}

static const char *CheckPrinterBack(const void *data, DWORD bytes, const char *line)
{
    if (bytes < sizeof(PRINTER_INFO_2A))
        return KX_STEP_SHORT;
    PRINTER_INFO_2A printer = *(const PRINTER_INFO_2A *)data;
    LPSTR *const texts[] = PRINTER_TEXTS(&printer);
    const char *why = CheckTexts(data, bytes, texts, ARRAYSIZE(texts), printer.pPrinterName, NULL,
                                 line, PRINTER_BACK_LINE);
    ULONG_PTR mode = (ULONG_PTR)printer.pDevMode, descriptor = (ULONG_PTR)printer.pSecurityDescriptor;

    if (!why && mode) {
        DEVMODEA head;
        ZeroMemory(&head, sizeof(head));
        if (mode < bytes && bytes - mode >= offsetof(DEVMODEA, dmFields))
            CopyMemory(&head, (const BYTE *)data + mode, offsetof(DEVMODEA, dmFields));
        if (head.dmSize < offsetof(DEVMODEA, dmFields) ||
            (DWORD)head.dmSize + head.dmDriverExtra > bytes - mode)
            why = KX_STEP_SHORT;
    }
    if (!why && descriptor &&
        (descriptor >= bytes || !DescriptorFits((const BYTE *)data + descriptor, bytes - (DWORD)descriptor)))
        why = KX_STEP_SHORT;
    return why;
}

void DefineSpoolerUndo(void)
{
    DefineUndo(StepMonitor, UndoMonitor, NULL);
    DefineUndo(StepMonitorBack, UndoMonitorBack, NULL);
    DefineUndo(StepDriver, UndoDriver, CheckDriver);
    DefineUndo(StepDriverBack, UndoDriverBack, CheckDriverBack);
    DefineUndo(StepPrinter, UndoPrinter, CheckPrinter);
    DefineUndo(StepPrinterBack, UndoPrinterBack, CheckPrinterBack);
    DefineDefaultPrinterUndo();
}

/* The spooler keeps a driver while a printer uses it, so removal takes the
 * printer first. */
void RemovePrinters(SetupStateRecord *state)
{
    for (int slot = 0; slot < MODEL_SLOTS; slot++) {
        if (!(state->selectedComponents & (1u << slot)))
            continue;
        DeleteExistingPrinter(state->modelName[slot]);
        DeleteDriver(state->modelName[slot]);
    }
}
