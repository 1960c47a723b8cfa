#!/usr/bin/env python3
"""Checks that the program was linked with the functions of src/app/link-order.txt side by side.

A link that dropped the list (another linker, a lost option, a list it cannot read) still builds
and runs; only the resident memory of every run grows. Here the listed functions that the program
has must form one block of its text, with little else between them.

  check-link-order.py PROGRAM LIST ORDERED   (ORDERED: whether the build links with the list)
Exit status 77 (skipped) when the build does not order its link.
"""
import subprocess
import sys

# Unlisted code may sit inside the block only where it shares a section with listed code (the C
# run-time's start files); more than this share of the block means the list was not applied.
MOST_UNLISTED_SHARE = 0.05


def text_functions(program):
    """{address: (size, names)} of the functions in the program's symbol table. Aliases (a
    constructor's complete and base object variants) share an address."""
    out = subprocess.run(["nm", "--defined-only", "--print-size", program], check=True,
                         capture_output=True, text=True).stdout
    functions = {}
    for line in out.splitlines():
        fields = line.split()
        if len(fields) == 4 and fields[2] in "tTwW" and int(fields[1], 16) > 0:
            size, names = functions.setdefault(int(fields[0], 16), (int(fields[1], 16), set()))
            names.add(fields[3])
    return functions


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    program, list_path, ordered = sys.argv[1:]
    if ordered.upper() != "ON":
        print("this build links without an order (a debug build, or no lld): nothing to check")
        return 77
    with open(list_path) as f:
        listed_names = {line.strip() for line in f if line.strip()}
    functions = text_functions(program)
    listed = {a: size for a, (size, names) in functions.items() if names & listed_names}
    if not listed:
        print("none of the %d listed functions is in %s" % (len(listed_names), program))
        return 1
    start = min(listed)
    end = max(a + size for a, size in listed.items())
    listed_bytes = sum(listed.values())
    unlisted_bytes = sum(size for a, (size, _) in functions.items()
                         if a not in listed and start <= a < end)
    present = len(listed_names & set().union(*(names for _, names in functions.values())))
    text_bytes = sum(size for size, _ in functions.values())
    print("%d of %d listed functions are in the program: %.0f KiB in a block of %.0f KiB "
          "(%.0f KiB of it unlisted) of %.0f KiB of functions" % (
              present, len(listed_names), listed_bytes / 1024, (end - start) / 1024,
              unlisted_bytes / 1024, text_bytes / 1024))
    if present < len(listed_names) / 2:
        print("the list is stale: scripts/update-link-order writes it anew")
    if unlisted_bytes > MOST_UNLISTED_SHARE * (end - start):
        print("the listed functions are not side by side: the link did not apply the list")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
