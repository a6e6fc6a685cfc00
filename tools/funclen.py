#!/usr/bin/env python3
"""Function lengths in C++ files (house style: a function's braces at column 0).
usage: funclen.py [--over N] FILES..."""
import sys, re
over = 60
args = sys.argv[1:]
if args and args[0] == '--over':
    over = int(args[1]); args = args[2:]
rows = []
for path in args:
    lines = open(path, encoding='utf-8', errors='replace').read().split('\n')
    i = 0
    while i < len(lines):
        if lines[i] == '{':
            # signature: walk back to the first line of the declaration
            j = i - 1
            while j > 0 and lines[j-1].strip() and not lines[j-1].rstrip().endswith((';', '}', '{')) and not lines[j-1].startswith(('//', '#')):
                j -= 1
            name = ' '.join(l.strip() for l in lines[j:i])
            k = i + 1
            while k < len(lines) and lines[k] != '}' and lines[k] != '};':
                k += 1
            n = k - j + 1
            if not re.match(r'^(namespace|struct|class|enum|union|extern)\b', name) and '=' not in name.split('(')[0]:
                rows.append((n, path, j + 1, name[:100]))
            i = k
        i += 1
rows.sort(reverse=True)
for n, p, l, name in rows:
    if n > over:
        print(f"{n:4d} {p}:{l} {name}")
print(f"{sum(1 for r in rows if r[0] > over)} functions over {over} lines", file=sys.stderr)
