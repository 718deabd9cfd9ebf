#!/usr/bin/env python3
"""Checks that the console's two languages carry the same resources.

    check_languages.py JA.rc EN.rc

Every dialog template of one file has its twin in the other (IDD_X_JA and
IDD_X_EN, or the same name), and the twins hold the same control ids; a
control that only one language has is marked on its line with the comment
"// only this language". Every string id of one file's string tables is in
the other's. Every field a screen reader names by the text before it (edit,
combo box, scroll bar, track bar) directly follows its label: a static text
with an access key.
Prints each difference; the exit code is their number.
"""
import re
import sys

KEYWORDS_ID_FIRST = {'EDITTEXT', 'COMBOBOX', 'LISTBOX', 'SCROLLBAR'}
KEYWORDS_ID_SECOND = {'LTEXT', 'RTEXT', 'CTEXT', 'PUSHBUTTON', 'DEFPUSHBUTTON', 'CHECKBOX', 'AUTOCHECKBOX',
                      'RADIOBUTTON', 'AUTORADIOBUTTON', 'GROUPBOX', 'STATE3', 'AUTO3STATE', 'ICON', 'CONTROL',
                      'PUSHBOX'}
ONE_LANGUAGE = '// only this language'
STRING = re.compile(r'"(?:[^"]|"")*"')


def blocks(text):
    """(kind, name, body lines) for every DIALOG(EX) and STRINGTABLE."""
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        m = re.match(r'\s*(\w+)\s+DIALOG(?:EX)?\b', lines[i]) or re.match(r'\s*(STRINGTABLE)\b', lines[i])
        if not m:
            i += 1
            continue
        kind = 'strings' if m.group(1) == 'STRINGTABLE' else 'dialog'
        while not re.match(r'\s*(BEGIN|\{)\s*$', lines[i]):
            i += 1
        body = []
        i += 1
        while not re.match(r'\s*(END|\})\s*$', lines[i]):
            body.append(lines[i])
            i += 1
        yield kind, m.group(1), body


def statements(body, starts):
    """The body's statements with their continuation lines joined and their
    strings blanked; starts(code) tells a new statement from a continuation."""
    out = []
    for line in body:
        marked = ONE_LANGUAGE in line
        code = STRING.sub('""', line.split('//')[0]).strip()
        if not code:
            continue
        if out and not starts(code):
            out[-1] = (out[-1][0] + ' ' + code, out[-1][1] or marked)
        else:
            out.append((code, marked))
    return out


def control_ids(body):
    ids, only = set(), set()
    for code, marked in statements(body, lambda code: code.split()[0] in KEYWORDS_ID_FIRST | KEYWORDS_ID_SECOND):
        words = code.split(None, 1)
        if len(words) < 2 or words[0] not in KEYWORDS_ID_FIRST | KEYWORDS_ID_SECOND:
            continue
        args = [a.strip() for a in words[1].split(',')]
        cid = args[0] if words[0] in KEYWORDS_ID_FIRST else (args[1] if len(args) > 1 else '')
        if cid in ('IDC_STATIC', '-1', ''):
            continue
        (only if marked else ids).add(cid)
    return ids, only


FIELDS = {'EDITTEXT', 'COMBOBOX', 'SCROLLBAR'}
LABELS = {'LTEXT', 'RTEXT', 'CTEXT'}


def unlabelled_fields(body):
    """Fields whose previous control is not a static text with an access key."""
    out, before = [], None
    lines = [STRING.sub(lambda m: '"T"' if re.search(r'&[^&]', m.group(0)) else '""', l.split('//')[0]).strip()
             for l in body]
    for code in lines:
        words = code.split(None, 1)
        if not words or words[0] not in KEYWORDS_ID_FIRST | KEYWORDS_ID_SECOND:
            continue
        args = [a.strip() for a in words[1].split(',')] if len(words) > 1 else []
        field = words[0] in FIELDS or (words[0] == 'CONTROL' and len(args) > 2 and 'trackbar' in args[2])
        if field and before != 'label':
            out.append(args[0] if words[0] in FIELDS else args[1])
        before = 'label' if words[0] in LABELS and args and args[0] == '"T"' else words[0]
    return out


def string_ids(body):
    ids = set()
    for code, _marked in statements(body, lambda code: re.match(r'[A-Za-z_0-9]+\s*,?\s*"', code)):
        m = re.match(r'([A-Za-z_0-9]+)\s*,?\s*""', code)
        if m:
            ids.add(m.group(1))
    return ids


def load(path, problems):
    dialogs, strings = {}, set()
    with open(path, encoding='utf-8') as f:
        for kind, name, body in blocks(f.read()):
            if kind == 'dialog':
                dialogs[re.sub(r'_(JA|EN)$', '', name)] = control_ids(body)
                for cid in unlabelled_fields(body):
                    problems.append(f'{name}: {cid} does not follow its label in {path}')
            else:
                strings |= string_ids(body)
    return dialogs, strings


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    problems = []
    (ja_dialogs, ja_strings), (en_dialogs, en_strings) = load(argv[1], problems), load(argv[2], problems)
    for name in sorted(set(ja_dialogs) | set(en_dialogs)):
        if name not in en_dialogs or name not in ja_dialogs:
            problems.append(f'{name}: template only in {argv[1] if name in ja_dialogs else argv[2]}')
            continue
        (ja, _), (en, _) = ja_dialogs[name], en_dialogs[name]
        for cid in sorted(ja - en):
            problems.append(f'{name}: control {cid} only in {argv[1]}')
        for cid in sorted(en - ja):
            problems.append(f'{name}: control {cid} only in {argv[2]}')
    for sid in sorted(ja_strings - en_strings):
        problems.append(f'string {sid} only in {argv[1]}')
    for sid in sorted(en_strings - ja_strings):
        problems.append(f'string {sid} only in {argv[2]}')
    for p in problems:
        print(p)
    if not problems:
        print(f'{len(ja_dialogs)} templates and {len(ja_strings)} strings in both languages')
    return min(len(problems), 100)


if __name__ == '__main__':
    sys.exit(main(sys.argv))
