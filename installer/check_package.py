#!/usr/bin/env python3
"""check_package.py MSIINFO MSI ARCH VERSION [CONSOLE_FILE...]: the package's
tables hold what installs the suite and removes it cleanly."""
import os
import struct
import subprocess
import sys
import tempfile

msiinfo, msi, arch, version = sys.argv[1:5]
console_files = sys.argv[5:]
x64 = arch == 'x64'
failures = []


def table(name):
    """Rows of an exported table as dicts (msiinfo export: names, types, key line, rows)."""
    out = subprocess.run([msiinfo, 'export', msi, name], capture_output=True, text=True, check=True).stdout
    lines = out.split('\r\n') if '\r\n' in out else out.split('\n')
    columns = lines[0].split('\t')
    return [dict(zip(columns, line.split('\t'))) for line in lines[3:] if line]


def machine(data):
    pe = struct.unpack_from('<I', data, 0x3c)[0]
    return struct.unpack_from('<H', data, pe + 4)[0]


def check(sentence, condition, detail=''):
    if not condition:
        failures.append(f'{sentence}{": " + str(detail) if detail else ""}')


suminfo = subprocess.run([msiinfo, 'suminfo', msi], capture_output=True, text=True, check=True).stdout
properties = {r['Property']: r['Value'] for r in table('Property')}
directories = {r['Directory']: r for r in table('Directory')}
components = {r['Component']: r for r in table('Component')}
files = {r['File']: r for r in table('File')}
registry = table('Registry')
shortcuts = table('Shortcut')
remove_file = table('RemoveFile')
create_folder = {r['Component_'] for r in table('CreateFolder')}
actions = table('CustomAction')
sequence = {r['Action']: int(r['Sequence']) for r in table('InstallExecuteSequence')}
upgrade = table('Upgrade')

programs = ['Tapagent.exe', 'taphook.dll', 'Tapapi.dll', 'Tapport.exe', 'Tapstart.exe', 'Taplink.exe', 'Tapcfg.exe']
wanted = sorted(programs + console_files, key=str.lower)
pe_machine = 0x8664 if x64 else 0x14c


def path_of(directory):
    parts = []
    while directory in directories and directories[directory]['Directory_Parent']:
        name = directories[directory]['DefaultDir'].split('|')[-1]
        parts.append(directory if name == '.' else name)
        directory = directories[directory]['Directory_Parent']
    return '\\'.join(reversed(parts))


program_files = 'ProgramFiles64Folder' if x64 else 'ProgramFilesFolder'
install_path = program_files + '\\QTX\\PNL\\USBPNL'

# ---- what is installed where
check(f'the summary names the {arch} platform', f'Template: {"x64" if x64 else "Intel"};1033' in suminfo, suminfo)
check('the package holds exactly the suite\'s files', sorted((r['FileName'].split('|')[-1] for r in files.values()),
                                                             key=str.lower) == wanted, [r['FileName'] for r in files.values()])
for f in files.values():
    comp = components[f['Component_']]
    check(f'{f["FileName"]} goes to {install_path}', path_of(comp['Directory_']) == install_path,
          path_of(comp['Directory_']))
with tempfile.TemporaryDirectory() as tmp:
    subprocess.run(['msiextract', '-C', tmp, msi], capture_output=True, check=True)
    for root, _, names in os.walk(tmp):
        for name in names:
            if name.lower().endswith(('.exe', '.dll')):
                with open(os.path.join(root, name), 'rb') as fh:
                    check(f'{name} is a {arch} binary', machine(fh.read()) == pe_machine)
    action_dll = subprocess.run([msiinfo, 'extract', msi, 'Binary.SetupActions'], capture_output=True, check=True).stdout
    check(f'the custom action DLL is a {arch} binary', machine(action_dll) == pe_machine)

# ---- per machine, versioned, upgradable
check('the package installs per machine', properties.get('ALLUSERS') == '1', properties.get('ALLUSERS'))
check('the product version is the suite\'s version', properties.get('ProductVersion') == version,
      properties.get('ProductVersion'))
older = [r for r in upgrade if r['ActionProperty'] == 'WIX_UPGRADE_DETECTED']
check('an older version of the same upgrade code is found and removed',
      len(older) == 1 and older[0]['UpgradeCode'] == properties.get('UpgradeCode') and older[0]['VersionMax'] == version
      and not int(older[0]['Attributes']) & 0x2, older)
check('the older version goes before anything is installed',
      sequence.get('InstallValidate', 0) < sequence.get('RemoveExistingProducts', 0) < sequence.get('InstallInitialize', 0))

# ---- logon, first start of the probe, Start menu
run_values = {(r['Key'], r['Name']): r for r in registry if r['Root'] == '2'}
run = run_values.get(('SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run', 'TAPSTART'))
check('the machine\'s Run key starts Tapstart.exe by its quoted path',
      run and run['Value'] == '"[#Tapstart.exe]"' and run['Component_'] == files['Tapstart.exe']['Component_'], run)
probe = run_values.get(('SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce', 'TAPPORTCHK'))
check('RunOnce holds the probe\'s quoted path under TAPPORTCHK',
      probe and probe['Value'] == '"[#Tapport.exe]"' and probe['Component_'] == files['Tapport.exe']['Component_'], probe)
check('the package writes no other registry value', len(registry) == 2, registry)
check('one shortcut', len(shortcuts) == 1, shortcuts)
for s in shortcuts:
    check('the shortcut is "TouchPanel Setting.lnk" in the Start menu\'s "QTX USB TouchPanel"',
          s['Name'].split('|')[-1] == 'TouchPanel Setting.lnk' and path_of(s['Directory_']) ==
          'ProgramMenuFolder\\QTX USB TouchPanel', s)
    check('the shortcut opens the installed Tapcon.exe without arguments or working folder',
          s['Target'] == '[INSTALLDIR]Tapcon.exe' and not s['Arguments'] and not s['WkDir'], s)

# ---- a clean removal
for c in components.values():
    attributes = int(c['Attributes'])
    check(f'component {c["Component"]} is removed with the product', c['ComponentId'] and not attributes & 0x10, c)
    check(f'component {c["Component"]} is {"64" if x64 else "32"}-bit', bool(attributes & 0x100) == x64, c)
    check(f'component {c["Component"]} has a key path or its folder',
          c['KeyPath'] or c['Component'] in create_folder, c)
    owned = [f for f in files.values() if f['Component_'] == c['Component']]
    check(f'component {c["Component"]} holds at most one file, its key path',
          len(owned) <= 1 and all(f['File'] == c['KeyPath'] for f in owned), owned)
check('component GUIDs are unique', len({c['ComponentId'] for c in components.values()}) == len(components))
removed = {r['DirProperty'] for r in remove_file if not r['FileName'] and int(r['InstallMode']) & 2}
for folder in ['INSTALLDIR', 'PnlFolder', 'QtxFolder', 'MenuFolder']:
    check(f'the folder {path_of(folder)} is removed on uninstall', folder in removed, removed)

# ---- custom actions, only for what no table does
by_name = {a['Action']: a for a in actions}
check('the custom actions close the agent and import SETTINGS=',
      sorted(by_name) == ['CloseAgent', 'ImportSettings', 'ImportSettingsData'], actions)
if 'CloseAgent' in by_name:
    a = by_name['CloseAgent']
    kind = int(a['Type'])
    check('CloseAgent is a DLL from the Binary table, immediate, and never fails the install',
          kind & 0x3f == 1 and a['Source'] == 'SetupActions' and a['Target'] == 'CloseAgent' and kind & 0x40
          and not kind & 0x400, kind)
if 'ImportSettings' in by_name and 'ImportSettingsData' in by_name:
    a, data = by_name['ImportSettings'], by_name['ImportSettingsData']
    kind = int(a['Type'])
    check('ImportSettings is a DLL from the Binary table, deferred in the system context, and fails the install',
          kind & 0x3f == 1 and a['Source'] == 'SetupActions' and a['Target'] == 'ImportSettings' and kind & 0x400
          and kind & 0x800 and not kind & 0x40, kind)
    check('its command line runs the installed Tapcfg.exe on SETTINGS as machine defaults',
          int(data['Type']) & 0x3f == 51 and data['Source'] == 'ImportSettings'
          and data['Target'] == '"[#Tapcfg.exe]" import "[SETTINGS]" /machine', data)
    conditions = {r['Action']: r['Condition'] for r in table('InstallExecuteSequence')}
    check('the import runs only with SETTINGS, never on removal, after the files are installed',
          conditions.get('ImportSettings') == conditions.get('ImportSettingsData') == 'SETTINGS AND NOT REMOVE~="ALL"'
          and sequence.get('InstallFiles', 0) < sequence.get('ImportSettings', 0)
          and sequence.get('ImportSettingsData', 0) < sequence.get('ImportSettings', 0), conditions)
check('the agent is closed before the files-in-use check',
      sequence.get('CostFinalize', 0) < sequence.get('CloseAgent', 0) < sequence.get('InstallValidate', 0), sequence)

for f in failures:
    print('FAIL', f)
print(f'{os.path.basename(msi)}: {len(failures)} failed')
sys.exit(1 if failures else 0)
