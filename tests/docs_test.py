#!/usr/bin/env python3
"""README.md and docs/*.md: every relative link and picture names a file that exists, and an
#anchor names a heading (as GitHub makes its id) or an id= of that page; the README links every
page. docs/configuration.md and packaging/tev3p.ini.5 hold the same groups and keys."""
import glob
import os
import re
import sys

root = sys.argv[1]
pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
faults = []


def without_code(text):
    return re.sub(r"`[^`\n]*`", "", re.sub(r"```.*?```", "", text, flags=re.S))


def anchors(path):
    found, seen = set(), {}
    for line in without_code(open(path, encoding="utf-8").read()).splitlines():
        heading = re.match(r"#+\s+(.*)$", line)
        if heading:
            slug = re.sub(r"[^\w\- ]", "", heading.group(1).strip().lower()).replace(" ", "-")
            n = seen.get(slug, 0)
            seen[slug] = n + 1
            found.add(slug if n == 0 else f"{slug}-{n}")
        found.update(re.findall(r'id="([^"]+)"', line))
    return found


for page in pages:
    text = without_code(open(page, encoding="utf-8").read())
    for link in re.findall(r"\]\(([^)\s]+)\)", text) + re.findall(r'src="([^"]+)"', text):
        if re.match(r"[a-z]+:", link):
            continue
        target, _, anchor = link.partition("#")
        path = os.path.normpath(os.path.join(os.path.dirname(page), target)) if target else page
        where = f"{os.path.relpath(page, root)}: {link}"
        if not os.path.exists(path):
            faults.append(f"{where}: no such file")
        elif anchor and anchor not in anchors(path):
            faults.append(f"{where}: no such heading")
readme = open(pages[0], encoding="utf-8").read()
for page in pages[1:]:
    if f"](docs/{os.path.basename(page)}" not in readme:
        faults.append(f"README.md does not link docs/{os.path.basename(page)}")

# The groups and keys of the reference page and of the manual page.
def page_keys(text):
    keys, group = set(), None
    for line in text.splitlines():
        g = re.match(r"## \[(\w+)\]$", line)
        if g:
            group = g.group(1)
        k = re.match(r"\| `(\w+)` \|", line)
        if group and k:
            keys.add(f"[{group}] {k.group(1)}")
        elif group and re.match(r"\| `band_<n>` \|", line):
            keys.add(f"[{group}] band_")
        elif group and re.match(r"\| `(\w+)\.<ID>` \|", line):
            # A key named after a meter (name.<ID>): the manual page writes it .BI name. ID.
            keys.add(f"[{group}] " + re.match(r"\| `(\w+)\.", line).group(1))
    return keys


def manual_keys(text):
    keys, group, after_tp = set(), None, False
    for line in text.splitlines():
        g = re.match(r'\.SH "\[(\w+)\]"$', line)
        if g:
            group = g.group(1)
        elif line.startswith(".SH"):
            group = None
        k = re.match(r"\.BI? (\w+)", line)
        if group and after_tp and k:
            keys.add(f"[{group}] {k.group(1)}")
        after_tp = line == ".TP"
    return keys


reference = page_keys(open(os.path.join(root, "docs", "configuration.md"), encoding="utf-8").read())
manual = manual_keys(open(os.path.join(root, "packaging", "tev3p.ini.5"), encoding="utf-8").read())
for key in sorted(reference - manual):
    faults.append(f"tev3p.ini.5 lacks {key}")
for key in sorted(manual - reference):
    faults.append(f"docs/configuration.md lacks {key}")
if len(reference) < 40:
    faults.append(f"docs/configuration.md: only {len(reference)} keys found")

print("\n".join(faults))
print(f"{len(pages)} pages, {len(reference)} keys of tev3p.ini: {len(faults)} faults")
sys.exit(1 if faults else 0)
