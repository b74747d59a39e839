#!/usr/bin/env python3
"""Fails when a source file includes a header from a folder it may not use.

Headers are included by bare name ("deviceclient.h"), so each name is first
mapped to the folder that holds it; generated headers are mapped to the
folder whose sources make them (ui_*.h to ui/, projectinfo.h to common/).
Each folder may include its own headers and those of the folders below it:

    common, enip, bootp, net  <-  discovery, client, addressserver
                              <-  inventory  <-  cli  <-  ui  <-  app

tests/ may include any folder. Usage: check-includes.py [ROOT]
"""
import os
import re
import sys

# Who may include whom, besides itself.
BELOW = {
    'common': set(),
    'enip': set(),
    'bootp': set(),
    'net': {'common'},
    'discovery': {'common', 'enip', 'net'},
    'client': {'common', 'enip', 'net'},
    'addressserver': {'common', 'bootp', 'net'},
    'inventory': {'common', 'enip', 'net', 'discovery', 'client'},
    'cli': {'common', 'enip', 'bootp', 'net', 'discovery', 'client', 'addressserver', 'inventory'},
    'ui': {'common', 'enip', 'bootp', 'net', 'discovery', 'client', 'addressserver', 'inventory', 'cli'},
    'app': {'common', 'enip', 'bootp', 'net', 'discovery', 'client', 'addressserver', 'inventory', 'cli', 'ui'},
}
GENERATED = {'projectinfo.h': 'common'}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main(root):
    owner = {}
    clashes = []
    for folder in BELOW:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if name.endswith('.h'):
                if name in owner:
                    clashes.append(f'{name} is in both {owner[name]}/ and {folder}/')
                owner[name] = folder
            elif name.endswith('.ui'):
                owner['ui_' + name[:-3] + '.h'] = folder
    owner.update(GENERATED)

    faults = list(clashes)
    for folder, allowed in BELOW.items():
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith(('.h', '.cpp')):
                continue
            source = os.path.join(folder, name)
            with open(os.path.join(root, source), encoding='utf-8') as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    header = os.path.basename(match.group(1))
                    if header.endswith('.moc') or header.startswith('moc_'):
                        continue
                    home = owner.get(header)
                    if home is None:
                        faults.append(f'{source}:{number}: includes "{header}", which no folder of the program holds')
                    elif home != folder and home not in allowed:
                        faults.append(f'{source}:{number}: includes "{header}" of {home}/, '
                                      f'which {folder}/ may not use')
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f'check-includes.py: {len(faults)} include(s) against the layering', file=sys.stderr)
        return 1
    print('check-includes.py: every include runs the allowed way')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')))
