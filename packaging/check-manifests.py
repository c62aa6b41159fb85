#!/usr/bin/env python3
"""check-manifests.py PACKAGING_DIR SOURCE_DIR VERSION WINDRES [PUBLISHER PRODUCT]: the generated winget and
Chocolatey manifests and the SMS package definition keep their formats' rules and say what the program does.
PUBLISHER and PRODUCT: the names the manifests were generated with, where they are not the exe's own (a
check of their escaping). Standard library only."""
import configparser, hashlib, pathlib, re, subprocess, sys, zipfile
import xml.etree.ElementTree as ET

out, src, version, windres = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), sys.argv[3], sys.argv[4]
faults = []
def expect(ok, what):
    if not ok:
        faults.append(what)

# The block YAML the templates use. A plain 1.0 is a number, as YAML reads it.
def scalar(text):
    if text[0] == "'":
        return text[1:-1].replace("''", "'")
    return int(text) if re.fullmatch(r"-?\d+", text) else float(text) if re.fullmatch(r"-?\d+\.\d*", text) else text

def node(rows, i, indent):
    if rows[i][1].startswith("- "):
        items = []
        while i < len(rows) and rows[i][0] == indent and rows[i][1].startswith("- "):
            if re.match(r"\w+:( |$)", rows[i][1][2:]):
                rows[i] = (indent + 2, rows[i][1][2:])
                item, i = node(rows, i, indent + 2)
            else:
                item, i = scalar(rows[i][1][2:]), i + 1
            items.append(item)
        return items, i
    mapping = {}
    while i < len(rows) and rows[i][0] == indent and not rows[i][1].startswith("- "):
        key, _, text = re.fullmatch(r"(\w+):( (.*))?", rows[i][1]).groups()
        expect(key not in mapping, f"{key} twice")
        i += 1
        if text:
            mapping[key] = scalar(text)
        elif i < len(rows) and (rows[i][0] > indent or rows[i][1].startswith("- ")):
            mapping[key], i = node(rows, i, rows[i][0])
    return mapping, i

def load(path):
    rows = [(len(l) - len(l.lstrip(" ")), l.strip()) for l in path.read_text(encoding="utf-8").splitlines()
            if l.strip() and not l.lstrip().startswith("#")]
    value, end = node(rows, 0, 0)
    expect(end == len(rows), f"{path.name}: cannot read {rows[end:end + 1]}")
    return value

def strings(*values):
    return all(isinstance(v, str) and v for v in values)

# What the program says of itself: the hashed exe's version resource, its entry, options, exit codes.
hashed, exe = (out / "kxsetup.exe.sha256").read_text().strip().split("  ", 1)
rc = dict(re.findall(r'VALUE "(\w+)",\s*"([^"]*)"', subprocess.run(
    [windres, "-i", exe, "-O", "rc"], capture_output=True, text=True, check=True).stdout))
record = (src / "integration/record.cpp").read_text()
# The value's name, then on its line (or the next) the literal text the program writes.
name = re.search(r'"DisplayName",[^"\n]*\n?[^"\n]*"([^"]*)"\s*KX_VERSION_TEXT\b', record)
publisher = re.search(r'"Publisher",[^"\n]*"([^"]*)"', record)
key = re.search(r'#define KX_UNINSTALL_KEY ".*\\\\Uninstall\\\\(\w+)"', (src / "integration/integration.h").read_text())
if len(sys.argv) > 6:
    rc.update(CompanyName=sys.argv[5], ProductName=sys.argv[6])
    publisher, name = re.match(r".*", sys.argv[5]), re.match(r".*", sys.argv[6] + " Version ")
    publisher, name = (re.match(r"(.*)", m.group(0)) for m in (publisher, name))
program = {"DisplayName": name and name.group(1) + rc.get("ProductVersion", ""), "Publisher": publisher and publisher.group(1),
           "DisplayVersion": rc.get("ProductVersion"), "ProductCode": key and key.group(1)}
# The option names and, in the same order, what each takes.
option_lists = [re.search(r"\b%s\[OPTION_COUNT\] = \{(.*?)\};" % table, (src / "shell/options.cpp").read_text(), re.S)
                for table in ("optionNames", "optionValues")]
options = dict(zip(re.findall(r'"([^"]+)"', option_lists[0].group(1)), re.findall(r"\w+", option_lists[1].group(1)))
               if all(option_lists) else {})
table = re.search(r"### Exit codes\n(.*?)\n###", (src / "README.md").read_text(), re.S).group(1)
# A code whose meaning starts with `/verify` is no outcome of an install.
install_codes = {int(c) for c, meaning in re.findall(r"^\| (\d+) \| (.*)", table, re.M) if not meaning.startswith("`/verify`")}
expect(all(program.values()) and "quiet" in options, f"the program's entry or options not found: {program}")
expect(rc.get("ProductVersion") == version, "the exe is of another version")
def digest(data):
    return hashlib.sha256(data).hexdigest()
sha = digest(pathlib.Path(exe).read_bytes())
expect(sha == hashed, f"{exe} is not the file hashed")

# The medium zip winget installs from: at its root the hashed exe, the setup information and its layout file.
zip_path = out / f"kxsetup-{version}-medium.zip"
with zipfile.ZipFile(zip_path) as z:
    expect(z.testzip() is None, f"{zip_path.name} is damaged")
    in_zip = {i.filename: digest(z.read(i)) for i in z.infolist() if not i.is_dir()}
    inf = z.read("oemsetup.inf").decode("latin-1") if "oemsetup.inf" in in_zip else ""
layout = re.search(r'^\s*LayoutFile\s*=\s*"?([^",\s]+)', inf, re.M | re.I)
expect(in_zip.get("kxsetup.exe") == sha and inf and (not layout or layout.group(1) in in_zip),
       f"{zip_path.name} lacks the hashed exe, oemsetup.inf or its layout file at its root")

def accepted(args, where):
    for option, value in re.findall(r"(?<!\S)[/-]([^\s=]+)(=?)", args):
        kind = options.get(option.lower())
        expect(kind and (kind != "NoValue") == bool(value), f"{where}: the program takes no /{option}{value}")

# winget: three files of one package version.
files = {p.name: load(p) for p in sorted((out / "winget").glob("*.yaml"))}
by_type = {f.get("ManifestType"): f for f in files.values()}
expect(len(files) == 3 and set(by_type) == {"version", "installer", "defaultLocale"}, f"winget files {sorted(files)}")
ver, inst, loc = (by_type.get(t, {}) for t in ("version", "installer", "defaultLocale"))
ident = str(ver.get("PackageIdentifier"))
for f in files.values():
    expect((f.get("PackageIdentifier"), f.get("PackageVersion"), f.get("ManifestVersion")) == (ident, version, "1.6.0"),
           f"PackageIdentifier, PackageVersion, ManifestVersion {f.get('PackageIdentifier')} "
           f"{f.get('PackageVersion')!r} {f.get('ManifestVersion')}")
part = r'[^.\s\\/:*?"<>|\x01-\x1f]{1,32}'
expect(len(ident) <= 128 and re.fullmatch(rf"{part}(\.{part}){{1,7}}", ident), f"PackageIdentifier {ident}")
expect(ver.get("DefaultLocale") == loc.get("PackageLocale"), "DefaultLocale names no defaultLocale file")
expect(strings(*(loc.get(k) for k in ("PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"))),
       "defaultLocale lacks a required field")
expect((loc.get("Publisher"), loc.get("PackageName")) == (rc.get("CompanyName"), rc.get("ProductName")),
       "Publisher/PackageName are not the version resource's")

installers = inst.get("Installers", [])
# A field of the root applies to every installer unless the installer has its own.
setup = {**inst, **(installers[0] if installers else {})}
enums = {"InstallerType": "msix msi appx exe zip inno nullsoft wix burn pwa portable", "Scope": "user machine",
         "NestedInstallerType": "msi msix appx exe inno nullsoft wix burn portable",
         "ElevationRequirement": "elevationRequired elevationProhibited elevatesSelf",
         "UpgradeBehavior": "install uninstallPrevious"}
for field, allowed in enums.items():
    expect(field not in setup or setup[field] in allowed.split(), f"{field} {setup.get(field)}")
expect((setup.get("InstallerType"), setup.get("NestedInstallerType"), setup.get("Scope")) == ("zip", "exe", "machine"),
       "not a machine-wide exe installer in a zip")
nested = [f.get("RelativeFilePath") if isinstance(f, dict) else f for f in setup.get("NestedInstallerFiles", [])]
expect(nested == ["kxsetup.exe"], f"NestedInstallerFiles {nested} do not name kxsetup.exe at the zip's root")
modes = inst.get("InstallModes", [])
expect(modes and len(set(modes)) == len(modes) <= 3 and set(modes) <= {"interactive", "silent", "silentWithProgress"},
       f"InstallModes {modes}")
expect(set(inst.get("UnsupportedOSArchitectures", [])) <= {"x86", "x64", "arm", "arm64"}, "UnsupportedOSArchitectures")
switches = inst.get("InstallerSwitches", {})
for field, value in switches.items():
    expect(field in "Silent SilentWithProgress Interactive InstallLocation Log Upgrade Custom".split()
           and strings(value) and len(value) <= (2048 if field == "Custom" else 512), f"switch {field}")
    accepted(str(value).replace("<LOGPATH>", "x"), f"switch {field}")
expect("<LOGPATH>" in switches.get("Log", "") and "/quiet" in switches.get("Silent", "").split(), "Silent or Log switch")
success = inst.get("InstallerSuccessCodes", [])
expect(len(success) <= 16 and len(set(success)) == len(success) and 0 not in success and 3010 not in success,
       f"InstallerSuccessCodes {success}")
returns = {r.get("InstallerReturnCode"): r.get("ReturnResponse") for r in inst.get("ExpectedReturnCodes", [])}
responses = ("packageInUse packageInUseByApplication installInProgress fileInUse missingDependency diskFull "
             "insufficientMemory invalidParameter noNetwork contactSupport rebootRequiredToFinish rebootRequiredForInstall "
             "rebootInitiated cancelledByUser alreadyInstalled downgrade blockedByPolicy systemNotSupported custom").split()
expect(len(returns) == len(inst.get("ExpectedReturnCodes", [])) <= 128 and set(returns.values()) <= set(responses),
       f"ExpectedReturnCodes {returns}")
# A quiet install ends with 3010 only when a restart is due: winget then reports it.
expect(returns.get(3010) == "rebootRequiredToFinish", f"3010 is not rebootRequiredToFinish: {returns.get(3010)}")
expect(set(returns) | set(success) | {0} == install_codes and not set(returns) & set(success),
       f"return codes {sorted(set(returns) | set(success))} are not an install's {sorted(install_codes - {0})}")
expect(re.fullmatch(r"(0|[1-9]\d{0,4})(\.(0|[1-9]\d{0,4})){0,3}", str(inst.get("MinimumOSVersion"))), "MinimumOSVersion")
entries = inst.get("AppsAndFeaturesEntries", [{}])
expect(len(entries) == 1 and all(entries[0].get(k) == v for k, v in program.items()),
       f"AppsAndFeaturesEntries {entries} are not the program's entry {program}")
expect(len(installers) == 1, "not one installer")
for i in installers:
    expect(i.get("Architecture") == "x86", f"Architecture {i.get('Architecture')}")
    expect(re.fullmatch(r"https://\S{1,2040}", str(i.get("InstallerUrl"))) and
           not re.search(r"\.exe($|\?)", str(i.get("InstallerUrl"))), "InstallerUrl is not a zip's")
    expect(re.fullmatch(r"[0-9A-Fa-f]{64}", str(i.get("InstallerSha256"))) and
           i["InstallerSha256"].lower() == digest(zip_path.read_bytes()), f"InstallerSha256 is not the SHA-256 of {zip_path}")

# Chocolatey: the nuspec, and the scripts around the shipped exe and its medium.
choco, ns = out / "chocolatey", "{http://schemas.microsoft.com/packaging/2015/06/nuspec.xsd}"
nuspecs = list(choco.glob("*.nuspec"))
root = ET.parse(nuspecs[0]).getroot() if len(nuspecs) == 1 else ET.Element("none")
metadata = root.find(ns + "metadata")
meta = {e.tag.replace(ns, ""): (e.text or "").strip() for e in (metadata if metadata is not None else [])}
expect(root.tag == ns + "package" and strings(*(meta.get(k) for k in ("id", "version", "title", "authors", "description"))),
       "the nuspec lacks its namespace or required metadata")
expect(re.fullmatch(r"[a-z0-9]+(-[a-z0-9]+)*", meta.get("id", "")) and meta.get("version") == version, "nuspec id or version")
expect([f.get("src") for f in root.iter(ns + "file")] == ["tools\\**"], "nuspec files")
expect((meta.get("authors"), meta.get("title")) == (rc.get("CompanyName"), rc.get("ProductName")),
       "the nuspec's authors/title are not the version resource's")
# Both packages say where the drivers install, which is not where their package manager runs.
systems = "install only on 32-bit Windows NT 4.0, 2000 and XP"
expect(systems in meta.get("description", "") and systems in str(loc.get("Description")),
       "a package does not say which systems the drivers install on")
tools = choco / "tools"
own = {"chocolateyInstall.ps1", "chocolateyUninstall.ps1", "VERIFICATION.txt"}
medium = {p.relative_to(tools).as_posix(): digest(p.read_bytes()) for p in tools.rglob("*")
          if p.is_file() and p.name not in own and not p.name.endswith(".exe.ignore")}
differ = sorted(n for n in set(in_zip) | set(medium) if in_zip.get(n) != medium.get(n))
expect(not differ, f"{zip_path.name} is not the medium in tools\\: {differ}")
expect(hashlib.sha256((tools / "kxsetup.exe").read_bytes()).hexdigest() == sha and (tools / "oemsetup.inf").is_file()
       and sha.upper() in (tools / "VERIFICATION.txt").read_text(), "tools\\ lacks the hashed exe, its medium or its hash")
# An uninstall that finds nothing installed ends with 1605, as Windows Installer's does.
for script, call, codes in (("chocolateyInstall.ps1", "Install-ChocolateyInstallPackage", "@(0, 3010)"),
                            ("chocolateyUninstall.ps1", "Uninstall-ChocolateyPackage", "@(0, 3010, 1605)")):
    line = next((l for l in (tools / script).read_text().replace("`\n", "").splitlines() if l.startswith(call)), "")
    args = re.search(r'-SilentArgs "(.*?)(?<!`)"', line)
    args = args.group(1) if args else ""
    expect("/quiet" in args.split() and "/log=" in args, f"{script}: no /quiet or /log=")
    accepted(re.sub(r'\$\(\$Matches\[2\]\)|`"\$log`"', "x", args), script)
    expect("-FileType 'exe'" in line and f"-ValidExitCodes {codes}" in line, f"{script}: file type or exit codes")
# A PowerShell single-quoted text doubles its quote; comments and double-quoted texts hold none.
def literals(script):
    code = re.sub(r'"(?:[^"`]|`.)*"', '""', re.sub(r"(?m)^\s*#.*$", "", script))
    return [m.replace("''", "'") for m in re.findall(r"'((?:[^']|'')*)'", code)]
uninstall = (tools / "chocolateyUninstall.ps1").read_text()
own_key = r"HKLM:\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall" + "\\" + program["ProductCode"]
expect(own_key in literals(uninstall) and "-LiteralPath $key" in uninstall and "Get-UninstallRegistryKey" not in uninstall,
       "the uninstall script looks for another entry than this machine's own")
expect(program["DisplayName"] + " installs on 32-bit Windows only." in literals((tools / "chocolateyInstall.ps1").read_text()),
       "the install script does not name the entry")

# The SMS package definition: an INI file of the format's sections, keys, values and lengths.
pdf = configparser.ConfigParser(interpolation=None, strict=True, comment_prefixes=(";",))
pdf.optionxform = str
try:
    pdf.read_string((out / "sms/kxsetup.sms").read_bytes().decode("ascii"))
except (configparser.Error, UnicodeError, OSError) as e:
    faults.append(f"kxsetup.sms: {e}")
expect((out / "sms/kxsetup.sms").read_bytes().count(b"\n") == (out / "sms/kxsetup.sms").read_bytes().count(b"\r\n"),
       "kxsetup.sms: not CRLF lines")
def limited(section, key, chars, required=True):
    value = pdf.get(section, key, fallback=None)
    expect((value is None and not required) or (value and len(value) <= chars), f"kxsetup.sms [{section}] {key}: {value!r}")
    return value or ""
expect(pdf.get("PDF", "Version", fallback=None) == "2.0", "kxsetup.sms: [PDF] Version is not 2.0")
package = "Package Definition"
for key, chars in (("Name", 50), ("Version", 32), ("Publisher", 32), ("Language", 32), ("Comment", 127)):
    limited(package, key, chars)
expect((pdf.get(package, "Name", fallback=""), pdf.get(package, "Publisher", fallback=""), pdf.get(package, "Version", fallback=""))
       == (rc.get("ProductName"), rc.get("CompanyName"), version), "kxsetup.sms: the package is not the program's")
programs = [p.strip() for p in pdf.get(package, "Programs", fallback="").split(",")]
expect(programs == ["Install", "Repair", "Verify", "Uninstall"] and set(pdf.sections()) == {"PDF", package, *programs},
       f"kxsetup.sms: programs {programs}, sections {pdf.sections()}")
known = {"Name": None, "Icon": None, "Comment": None, "CommandLine": None, "StartIn": None, "Run": "Minimized Maximized Hidden",
         "AfterRunning": "SMSRestart ProgramRestart SMSLogoff", "EstimatedDiskSpace": None, "EstimatedRunTime": None,
         "AdditionalProgramRequirements": None, "CanRunWhen": "UserLoggedOn NoUserLoggedOn AnyUserStatus",
         "UserInputRequired": "True False", "AdminRightsRequired": "True False", "UseInstallAccount": "True False",
         "DriveLetterConnection": "True False", "SpecifyDrive": None, "ReconnectDriveAtLogon": "True False",
         "DependentProgram": None, "Assignment": "FirstUser EveryUser", "Disabled": "True False",
         "RemoveProgram": "True False", "UninstallKey": None, "SupportedClients": None}
medium_kb = -(-sum(pathlib.Path(tools / n).stat().st_size for n in in_zip) // 1024)
args = {"Install": "", "Repair": "/repair", "Verify": "/verify", "Uninstall": "Uninstall"}
for name in (p for p in programs if pdf.has_section(p)):
    section = pdf[name]
    expect(limited(name, "Name", 50) == name, f"kxsetup.sms [{name}]: Name is not the section's")
    limited(name, "Comment", 127, False)
    for key, value in section.items():
        allowed = known.get(key, "") if not re.fullmatch(r"Win NT \(I386\) M(in|ax)Version\d+", key) else None
        expect(key in known or allowed is None, f"kxsetup.sms [{name}]: unknown key {key}")
        expect(not allowed or value in allowed.split(), f"kxsetup.sms [{name}] {key}={value}")
    line = limited(name, "CommandLine", 127).split()
    expect(line[:1] == ["kxsetup.exe"] and "/quiet" in line and " ".join(line[1:]).replace("/quiet", "").strip() == args[name],
           f"kxsetup.sms [{name}]: command line {line}")
    accepted(" ".join(line[1:]), f"kxsetup.sms [{name}]")
    # Nothing waits for a person or a logon, and the program restarts nothing itself: a restart it
    # needs is its exit code 3010, which the package does not turn into a forced restart.
    expect([section.get(k) for k in ("UserInputRequired", "CanRunWhen", "AdminRightsRequired", "AfterRunning", "RemoveProgram")]
           == ["False", "AnyUserStatus", "True", None, None], f"kxsetup.sms [{name}]: run conditions")
    space = re.fullmatch(r"(\d+)(KB|MB|GB)|Unknown", section.get("EstimatedDiskSpace", ""))
    expect(space and re.fullmatch(r"[1-9]\d*|Unknown", section.get("EstimatedRunTime", "")), f"kxsetup.sms [{name}]: space or time")
    expect(space and space.group(0) == (f"{medium_kb}KB" if name in ("Install", "Repair") else "0KB"),
           f"kxsetup.sms [{name}]: EstimatedDiskSpace is not the medium's {medium_kb}KB")
    # NT 4.0, 2000 and XP: the systems that take the drivers (not Server 2003, 5.2, which blocks them by default).
    ranges = [(section.get(f"Win NT (I386) MinVersion{i}"), section.get(f"Win NT (I386) MaxVersion{i}")) for i in (1, 2, 3, 4)]
    expect(section.get("SupportedClients") == "Win NT (I386)" and ranges == [
           ("4.00.0000.0", "4.00.9999.9999"), ("5.00.0000.0", "5.00.9999.9999"), ("5.10.0000.0", "5.10.9999.9999"), (None, None)],
           f"kxsetup.sms [{name}]: clients {ranges}")

print("\n".join(faults) or f"manifests of {ident} {version}: {zip_path.name} with {exe}")
sys.exit(1 if faults else 0)
