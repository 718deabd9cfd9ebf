#!/usr/bin/env python3
"""check_package.py MSIINFO MSI ARCH VERSION [CONSOLE_FILE...]: the package's
tables hold what installs the suite, replaces any earlier build or rebuild,
brings the agent back and removes it all cleanly."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

msiinfo, msi, arch, version = sys.argv[1:5]
console_files = sys.argv[5:]
x64 = arch == 'x64'
failures = []
# msiinfo export writes a table's streams (the Icon table's) into its working folder.
scratch = tempfile.mkdtemp()


def table(name):
    """Rows of an exported table as dicts (msiinfo export: names, types, key line, rows)."""
    out = subprocess.run([msiinfo, 'export', msi, name], capture_output=True, text=True, check=True,
                         cwd=scratch).stdout
    lines = out.split('\r\n') if '\r\n' in out else out.split('\n')
    columns = lines[0].split('\t')
    return [dict(zip(columns, line.split('\t'))) for line in lines[3:] if line]


def file_version(data):
    """FILEVERSION of a PE's VERSIONINFO (VS_FIXEDFILEINFO after its signature), or None."""
    at = data.find(struct.pack('<I', 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls = struct.unpack_from('<II', data, at + 8)
    return f'{ms >> 16}.{ms & 0xffff}.{ls >> 16}.{ls & 0xffff}'


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
launch = {r['Condition']: r['Description'] for r in table('LaunchCondition')}
icons = {r['Name'] for r in table('Icon')}

programs = ['Tapagent.exe', 'taphook.dll', 'Tapapi.dll', 'Tapport.exe', 'Tapstart.exe', 'Taplink.exe', 'Tapcfg.exe',
            'Taptest.exe']
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
# The x64 package also carries the 32-bit Tapapi.dll, where 32-bit programs see the install folder.
install_path32 = 'ProgramFilesFolder\\QTX\\PNL\\USBPNL'
files32 = {'Tapapi32.dll'} if x64 else set()

# ---- what is installed where
check(f'the summary names the {arch} platform', f'Template: {"x64" if x64 else "Intel"};1033' in suminfo, suminfo)
check('the package holds exactly the suite\'s files', sorted((r['FileName'].split('|')[-1] for k, r in files.items()
                                                              if k not in files32), key=str.lower) == wanted,
      [r['FileName'] for r in files.values()])
if x64:
    tapapi32 = files.get('Tapapi32.dll', {'FileName': '', 'Component_': ''})
    check('the x64 package also holds the 32-bit Tapapi.dll', tapapi32['FileName'].split('|')[-1] == 'Tapapi.dll',
          sorted(files))
for key, f in files.items():
    comp = components.get(f['Component_'], {'Directory_': ''})
    where = install_path32 if key in files32 else install_path
    check(f'{key} goes to {where}', path_of(comp['Directory_']) == where, path_of(comp['Directory_']))
with tempfile.TemporaryDirectory() as tmp:
    subprocess.run(['msiextract', '-C', tmp, msi], capture_output=True, check=True)
    binaries32 = 0
    for root, _, names in os.walk(tmp):
        for name in names:
            if name.lower().endswith(('.exe', '.dll')):
                with open(os.path.join(root, name), 'rb') as fh:
                    data = fh.read()
                # msiextract puts the x64 package's 32-bit folder under "Program Files", its 64-bit one at the top.
                in32 = x64 and os.path.relpath(root, tmp).startswith('Program Files')
                binaries32 += in32
                want = 0x14c if in32 else pe_machine
                check(f'{os.path.relpath(os.path.join(root, name), tmp)} is a {"x86" if in32 else arch} binary',
                      machine(data) == want, hex(machine(data)))
                # One fact: common/version.rc.inc gives both. The hook DLL, kept as
                # small as an empty DLL, carries no version resource.
                check(f'{name} carries the package\'s version', file_version(data) == version or
                      (name == 'taphook.dll' and file_version(data) is None), file_version(data))
    check('exactly one 32-bit binary in the x64 package (Tapapi.dll)', binaries32 == (1 if x64 else 0), binaries32)
    action_dll = subprocess.run([msiinfo, 'extract', msi, 'Binary.SetupActions'], capture_output=True, check=True).stdout
    check(f'the custom action DLL is a {arch} binary', machine(action_dll) == pe_machine)

# ---- per machine, versioned, upgradable
check('the package installs per machine', properties.get('ALLUSERS') == '1', properties.get('ALLUSERS'))
check('the product version is the suite\'s version', properties.get('ProductVersion') == version,
      properties.get('ProductVersion'))
major, minor, build = (int(x) for x in version.split('.')[:3])
next_version = f'{major}.{minor}.{build + 1}'
replaced = [r for r in upgrade if r['ActionProperty'] == 'WIX_UPGRADE_DETECTED']
check('every older build and every rebuild of this version (first three fields) is found and removed',
      len(replaced) == 1 and replaced[0]['UpgradeCode'] == properties.get('UpgradeCode') and
      replaced[0]['VersionMin'] == '0.0.0' and int(replaced[0]['Attributes']) & 0x100 and
      replaced[0]['VersionMax'] == next_version and not int(replaced[0]['Attributes']) & 0x202, replaced)
newer = [r for r in upgrade if r['ActionProperty'] == 'WIX_DOWNGRADE_DETECTED']
check('a newer version is only detected, from the next third field on, and refuses the install',
      len(newer) == 1 and newer[0]['VersionMin'] == next_version and not newer[0]['VersionMax'] and
      int(newer[0]['Attributes']) & 0x102 == 0x102 and 'NOT WIX_DOWNGRADE_DETECTED' in launch, (newer, launch))
check('both upgrade properties pass to the install', set(properties.get('SecureCustomProperties', '').split(';')) >=
      {'WIX_UPGRADE_DETECTED', 'WIX_DOWNGRADE_DETECTED'}, properties.get('SecureCustomProperties'))
# Before InstallInitialize the removal would be outside the transaction: a failed upgrade would leave no product.
# Only the rollback's restart of the agents comes between (its rollback then runs after the old product is back).
after_initialize = sorted(a for a, n in sequence.items()
                          if sequence.get('InstallInitialize', 0) < n <= sequence.get('RemoveExistingProducts', 0))
check('the older version goes before anything is installed, inside the transaction that a failure rolls back',
      after_initialize == ['RemoveExistingProducts', 'RestartAgentOnRollback'] and
      sequence['RemoveExistingProducts'] < sequence.get('ProcessComponents', 0), sequence)

# ---- one package per platform
platform_rule = [c for c in launch if 'VersionNT64' in c]
if x64:
    check('the x64 package has no platform rule of its own', not platform_rule, launch)
else:
    check('the x86 package refuses 64-bit Windows, except to remove itself, and names the x64 package',
          platform_rule == ['Installed OR NOT VersionNT64'] and
          f'USB-TouchPanel-{version}-x64.msi' in launch.get('Installed OR NOT VersionNT64', ''), launch)

# ---- a private install folder: Tapstart, Tapport and Taplink only know the fixed one
public = [d for d in directories if d == d.upper() and d != 'TARGETDIR']
check('no folder of the package can be moved from the command line', not public, public)

# ---- Add/Remove Programs
check('Add/Remove Programs shows the suite\'s icon', properties.get('ARPPRODUCTICON') in icons,
      (properties.get('ARPPRODUCTICON'), icons))
check('Add/Remove Programs offers no Modify', properties.get('ARPNOMODIFY') == '1', properties.get('ARPNOMODIFY'))

# ---- logon, first start of the probe, Start menu
run_values = {(r['Key'], r['Name']): r for r in registry if r['Root'] == '2'}
run = run_values.get(('SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run', 'TAPSTART'))
check('the machine\'s Run key starts Tapstart.exe by its quoted path',
      run and run['Value'] == '"[#Tapstart.exe]"' and run['Component_'] == files['Tapstart.exe']['Component_'], run)
probe = run_values.get(('SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce', 'TAPPORTCHK'))
check('RunOnce holds the probe\'s quoted path under TAPPORTCHK',
      probe and probe['Value'] == '"[#Tapport.exe]"' and probe['Component_'] == files['Tapport.exe']['Component_'], probe)
check('the package writes no other registry value', len(registry) == 2, registry)
links = {s['Name'].split('|')[-1]: s for s in shortcuts}
check('two shortcuts: the console and the touch test', sorted(links) == ['TouchPanel Setting.lnk', 'TouchPanel Test.lnk'],
      shortcuts)
for name, program in (('TouchPanel Setting.lnk', 'Tapcon.exe'), ('TouchPanel Test.lnk', 'Taptest.exe')):
    s = links.get(name, {'Directory_': '', 'Target': '', 'Arguments': '', 'WkDir': ''})
    check(f'"{name}" is in the Start menu\'s "QTX USB TouchPanel"',
          path_of(s['Directory_']) == 'ProgramMenuFolder\\QTX USB TouchPanel', s)
    check(f'"{name}" opens the installed {program} without arguments or working folder',
          s['Target'] == f'[InstallFolder]{program}' and not s['Arguments'] and not s['WkDir'], s)

# ---- a clean removal
for c in components.values():
    attributes = int(c['Attributes'])
    check(f'component {c["Component"]} is removed with the product', c['ComponentId'] and not attributes & 0x10, c)
    bits64 = x64 and c['Directory_'] not in ('QtxFolder32', 'PnlFolder32', 'InstallFolder32')
    check(f'component {c["Component"]} is {"64" if bits64 else "32"}-bit', bool(attributes & 0x100) == bits64, c)
    check(f'component {c["Component"]} has a key path or its folder',
          c['KeyPath'] or c['Component'] in create_folder, c)
    owned = [f for f in files.values() if f['Component_'] == c['Component']]
    check(f'component {c["Component"]} holds at most one file, its key path',
          len(owned) <= 1 and all(f['File'] == c['KeyPath'] for f in owned), owned)
check('component GUIDs are unique', len({c['ComponentId'] for c in components.values()}) == len(components))
removed = {r['DirProperty'] for r in remove_file if not r['FileName'] and int(r['InstallMode']) & 2}
for folder in ['InstallFolder', 'PnlFolder', 'QtxFolder', 'MenuFolder'] + (
        ['InstallFolder32', 'PnlFolder32', 'QtxFolder32'] if x64 else []):
    check(f'the folder {path_of(folder)} is removed on uninstall', folder in removed, removed)

# ---- custom actions, only for what no table does
by_name = {a['Action']: a for a in actions}
conditions = {r['Action']: r['Condition'] for r in table('InstallExecuteSequence')}
restart_actions = ['RestartAgent', 'RestartAgentAtCommit', 'RestartAgentAtCommitData', 'RestartAgentOnRollback',
                   'RestartAgentOnRollbackData']
check('the custom actions close the agent, start it again and import SETTINGS=',
      sorted(by_name) == sorted(['CloseAgent', 'ImportSettings', 'ImportSettingsData'] + restart_actions), actions)
for name in ['CloseAgent', 'RestartAgent']:
    a = by_name.get(name, {'Type': '0', 'Source': '', 'Target': ''})
    kind = int(a['Type'])
    check(f'{name} is a DLL from the Binary table, immediate, and never fails the install',
          kind & 0x3f == 1 and a['Source'] == 'SetupActions' and a['Target'] == name and kind & 0x40
          and not kind & 0x400, kind)
for name, when in [('RestartAgentAtCommit', 0x200), ('RestartAgentOnRollback', 0x100)]:
    a = by_name.get(name, {'Type': '0', 'Source': '', 'Target': ''})
    data = by_name.get(name + 'Data', {'Type': '0', 'Source': '', 'Target': ''})
    kind = int(a['Type'])
    check(f'{name} runs RestartAgent in the script as SYSTEM, {"at commit" if when == 0x200 else "in a rollback"}, '
          'and never fails the install',
          kind & 0x3f == 1 and a['Source'] == 'SetupActions' and a['Target'] == 'RestartAgent' and kind & 0x40
          and kind & 0x400 and kind & 0x800 and kind & 0x300 == when, kind)
    check(f'{name} gets the closed sessions and the folder as its data',
          int(data['Type']) & 0x3f == 51 and data['Source'] == name
          and data['Target'] == ('commit' if when == 0x200 else 'rollback') + '|[AgentSessions]|[InstallFolder]', data)
if 'ImportSettings' in by_name and 'ImportSettingsData' in by_name:
    a, data = by_name['ImportSettings'], by_name['ImportSettingsData']
    kind = int(a['Type'])
    check('ImportSettings is a DLL from the Binary table, deferred in the system context, and fails the install',
          kind & 0x3f == 1 and a['Source'] == 'SetupActions' and a['Target'] == 'ImportSettings' and kind & 0x400
          and kind & 0x800 and not kind & 0x40, kind)
    check('its command line runs the installed Tapcfg.exe on SETTINGS as machine defaults',
          int(data['Type']) & 0x3f == 51 and data['Source'] == 'ImportSettings'
          and data['Target'] == '"[#Tapcfg.exe]" import "[SETTINGS]" /machine', data)
    check('the import runs only with SETTINGS, never on removal, after the files are installed',
          conditions.get('ImportSettings') == conditions.get('ImportSettingsData') == 'SETTINGS AND NOT REMOVE~="ALL"'
          and sequence.get('InstallFiles', 0) < sequence.get('ImportSettings', 0)
          and sequence.get('ImportSettingsData', 0) < sequence.get('ImportSettings', 0), conditions)
check('the agent is closed before the files-in-use check',
      sequence.get('CostFinalize', 0) < sequence.get('CloseAgent', 0) < sequence.get('InstallValidate', 0), sequence)
check('... only when files change: never in a maintenance run of the installed package',
      conditions.get('CloseAgent') == 'NOT Installed OR REINSTALL OR REMOVE~="ALL"', conditions.get('CloseAgent'))
check('the agents come back at commit, within the script',
      sequence.get('InstallInitialize', 0) < sequence.get('RestartAgentAtCommitData', 1e9) <
      sequence.get('RestartAgentAtCommit', 0) < sequence.get('InstallFinalize', 0)
      or sequence.get('RestartAgentAtCommitData', 0) < sequence.get('InstallInitialize', 0) <
      sequence.get('RestartAgentAtCommit', 0) < sequence.get('InstallFinalize', 0), sequence)
check('... and in a rollback after the old product is back (its removal comes later in the script)',
      sequence.get('RestartAgentOnRollbackData', 1e9) < sequence.get('InstallInitialize', 0) <
      sequence.get('RestartAgentOnRollback', 0) < sequence.get('RemoveExistingProducts', 0), sequence)
check('the immediate restart runs after the install only where rollback, and so commit, is disabled',
      sequence.get('InstallFinalize', 0) < sequence.get('RestartAgent', 0), sequence)
never_on_removal = 'AgentSessions AND NOT (REMOVE~="ALL")'
check('... each only when an agent was closed, at commit never on removal, in a rollback always',
      conditions.get('RestartAgent') == never_on_removal + ' AND RollbackDisabled'
      and conditions.get('RestartAgentAtCommit') == conditions.get('RestartAgentAtCommitData') == never_on_removal
      and conditions.get('RestartAgentOnRollback') == conditions.get('RestartAgentOnRollbackData') == 'AgentSessions',
      conditions)

shutil.rmtree(scratch, ignore_errors=True)
for f in failures:
    print('FAIL', f)
print(f'{os.path.basename(msi)}: {len(failures)} failed')
sys.exit(1 if failures else 0)
