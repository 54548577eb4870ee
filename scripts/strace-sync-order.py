#!/usr/bin/env python3
"""Checks the sync order of one removal run traced with
    strace -f -tt -y -s 400000 -e trace=openat,fdatasync,fsync,renameat2,rename,renameat,unlinkat,unlink,linkat,syncfs,sync,write,pwrite64
Each file's intent line must be fdatasync'ed after its write and before the file is renamed or
unlinked; for the Trash each .trashinfo must have its name and be fdatasync'ed, and info/ fsync'ed
after the naming, before the item's rename into files/; no sync or syncfs once the run began.
Fds are read from strace's -y annotation (the kernel's path of each fd at the call), so reused fds
and threads sharing a table need no bookkeeping; an O_TMPFILE info is known by its linkat name.
A call counts as done at the line carrying its result and as started at its first line.
Usage: strace-sync-order.py TRACE  (exit 1 on any file out of order)"""
import re, sys, collections

path = sys.argv[1]
line_re = re.compile(r'^(\d+)\s+(\S+)\s+(.*)$')
call_re = re.compile(r'^(\w+)\((.*)$', re.S)
resumed_re = re.compile(r'^<\.\.\. (\w+) resumed>(.*)$', re.S)
fdarg_re = re.compile(r'^(-?\d+|AT_FDCWD)<([^>]*)>')
pending = {}          # tid -> (name, args, start line)
calls = []            # (name, args, result, start, end)
with open(path, errors='replace') as f:
    for n, raw in enumerate(f):
        m = line_re.match(raw.rstrip('\n'))
        if not m:
            continue
        tid, rest = m.group(1), m.group(3)
        r = resumed_re.match(rest)
        if r:
            name, args, start = pending.pop(tid, (r.group(1), '', n))
            calls.append((name, args + r.group(2), None, start, n))
            continue
        c = call_re.match(rest)
        if not c:
            continue
        if rest.endswith('<unfinished ...>'):
            pending[tid] = (c.group(1), c.group(2)[:-len('<unfinished ...>')], n)
        else:
            calls.append((c.group(1), c.group(2), None, n, n))
calls.sort(key=lambda c: c[3])

# strace's C escapes (\\n, \\", \\0, \\342, \\x7f): a name's bytes, or a write's binary data.
escape_re = re.compile(r'\\(x[0-9a-fA-F]{2}|[0-7]{1,3}|.)', re.S)
simple = {'n': 10, 't': 9, 'r': 13, 'v': 11, 'f': 12, 'a': 7, 'b': 8}

def unescape(text):
    out = bytearray()
    pos = 0
    for m in escape_re.finditer(text):
        out += text[pos:m.start()].encode('utf-8', 'surrogateescape')
        e = m.group(1)
        if e[0] == 'x':
            out.append(int(e[1:], 16))
        elif e[0] in '01234567':
            out.append(int(e, 8) & 0xff)
        else:
            out.append(simple.get(e, ord(e[0]) if len(e.encode()) == 1 else 63))
        pos = m.end()
    out += text[pos:].encode('utf-8', 'surrogateescape')
    return out.decode('utf-8', 'surrogateescape')

def strs(args):
    return [unescape(s) for s in re.findall(r'"((?:[^"\\]|\\.)*)"', args)]

def fdpath(args):
    m = fdarg_re.match(args)
    return m.group(2) if m else None

def ok(args):
    return re.search(r'=\s*(-?\d+)', args.rsplit(')', 1)[-1]) and not re.search(r'=\s*-1', args.rsplit(')', 1)[-1])

# Journal: files written whose content holds intent lines.
intent_written = {}   # media path -> end line of the write that carried its intent (first one)
journal_writes = collections.defaultdict(list)  # journal path -> [end lines]
journal_syncs = collections.defaultdict(list)   # path (inode key) -> [end lines of fdatasync/fsync]
tmp_to_name = {}
first_removal = {}    # media path -> (kind, start line, target)
info_named = {}       # info path -> end line of linkat/rename giving it its name
dir_syncs = collections.defaultdict(list)
run_started = None
whole_syncs = []
for name, args, _, start, end in calls:
    if name in ('write', 'pwrite64'):
        p = fdpath(args)
        body = args
        if '"k\\":\\"intent' in body or '\\"k\\":\\"intent\\"' in body:
            if run_started is None:
                run_started = start
            for mm in re.finditer(r'\\"p\\":\\"((?:[^"\\]|\\\\.)*?)\\"', body):
                media = mm.group(1).replace('\\\\/', '/')
                intent_written.setdefault(media, (p, end))
    elif name in ('fdatasync', 'fsync'):
        p = fdpath(args)
        if p is None:
            continue
        p = p.split('(deleted)')[0]
        journal_syncs[tmp_to_name.get(p, p)].append((name, end))
    elif name == 'linkat':
        s = strs(args)
        src = fdpath(args)
        if src and s:
            tmp_to_name[src] = s[-1]
            info_named.setdefault(s[-1], end)
    elif name in ('renameat2', 'rename', 'renameat'):
        s = strs(args)
        if len(s) >= 2:
            src, dst = s[0], s[-1]
            first_removal.setdefault(src, ('rename', start, dst))
            if dst.endswith('.trashinfo'):
                info_named.setdefault(dst, end)
    elif name in ('unlink', 'unlinkat'):
        s = strs(args)
        if s:
            first_removal.setdefault(s[0], ('unlink', start, None))
    elif name in ('sync', 'syncfs'):
        whole_syncs.append((name, start))

def synced_between(key, after, before, kinds=('fdatasync', 'fsync')):
    return any(k in kinds and after < e < before for k, e in journal_syncs.get(key, []))

media = sorted(intent_written)
rec_ok = rec_all = 0
info_ok = info_all = dir_ok = 0
bad = []
for m in media:
    if m not in first_removal:
        continue
    rec_all += 1
    jpath, wend = intent_written[m]
    kind, rstart, dst = first_removal[m]
    if synced_between(jpath, wend, rstart, ('fdatasync',)):
        rec_ok += 1
    else:
        bad.append(('record not synced', m))
    if kind == 'rename' and dst and '/files/' in dst:
        info_all += 1
        base = dst.rsplit('/files/', 1)
        info = base[0] + '/info/' + base[1] + '.trashinfo'
        named = info_named.get(info)
        if named is not None and named < rstart and synced_between(info, -1, rstart, ('fdatasync',)):
            info_ok += 1
        else:
            bad.append(('info not synced before rename', m, info, named))
        if named is not None and synced_between(base[0] + '/info', named, rstart, ('fsync',)):
            dir_ok += 1
        else:
            bad.append(('info/ not fsynced after the info got its name', m))
after = [w for w in whole_syncs if run_started is not None and w[1] > run_started]
print(f'{path}: files removed with an intent line: {rec_all}; intent fdatasync\'ed before removal: {rec_ok} of {rec_all}')
if info_all:
    print(f'  Trash renames into files/: {info_all}; .trashinfo named+fdatasync\'ed before: {info_ok} of {info_all}; info/ fsync\'ed after naming, before rename: {dir_ok} of {info_all}')
print(f'  sync/syncfs during the run: {len(after)} (before it, not the run: {len(whole_syncs) - len(after)})')
for b in bad[:10]:
    print('  BAD', b)
sys.exit(1 if bad or after else 0)
