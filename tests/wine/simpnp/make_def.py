#!/usr/bin/env python3
"""Writes the module definition of the simulated setupapi.dll.

    make_def.py OBJDUMP WINE_SETUPAPI_DLL OUTPUT.def SIMULATED_NAME...

Every name that Wine's setupapi.dll exports is exported again: the simulated
ones from the DLL itself, all others forwarded to wsetupapi.dll, the renamed
copy of Wine's DLL that sits beside it.
"""
import subprocess
import sys


def exported_names(objdump, dll):
    out = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    names, in_table = [], False
    for line in out.splitlines():
        if line.startswith("[Ordinal/Name Pointer] Table"):
            in_table = True
            continue
        if in_table:
            line = line.strip()
            if not line:
                break
            # "[  12] CM_Add_Empty_Log_Conf_Ex"
            names.append(line.split("]", 1)[1].strip())
    return names


def main():
    objdump, dll, output, simulated = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    names = exported_names(objdump, dll)
    missing = [n for n in simulated if n not in names]
    if missing or not names:
        sys.exit("make_def: Wine's setupapi.dll lacks %s" % (missing or "exports"))
    with open(output, "w") as f:
        f.write("LIBRARY setupapi.dll\nEXPORTS\n")
        for name in names:
            f.write("  %s\n" % name if name in simulated else "  %s = wsetupapi.%s\n" % (name, name))


if __name__ == "__main__":
    main()
