#!/usr/bin/env python3
"""Installs the build into a temporary prefix and uses the installed IDE through bin/'s link.

On a private Xvfb display with openbox: starts <prefix>/bin/vornex-ide, types a block,
assembles with F4 and views the report with F6. The IDE, the assembler and the viewer module
all work from the program folder <prefix>/lib/vornex-ide, where the untitled file and the
report must appear.

Exit status: 0 passed, 1 failed, 77 skipped (no X server can run here).
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
import traceback

# No compiled copies of the helper module in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

from xdesktop import (SKIP, Desktop, Failure, Ide, Skip, make_workdir, missing_tools,  # noqa: E402
                      wait_file, wait_for)

PROGRAM_FILES = ("vornex-ide", "cvornex.exe", "libvornex-webview.so")


def expect(condition, message):
    if not condition:
        raise Failure(message)


def install(cmake, build_dir, prefix):
    result = subprocess.run([cmake, "--install", build_dir, "--prefix", prefix],
                            stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
    expect(result.returncode == 0,
           f"cmake --install failed ({result.returncode}):\n{result.stdout}{result.stderr}")


def run(args, workdir):
    # A blank in the prefix, as in a home folder with one.
    prefix = os.path.join(workdir, "my prefix")
    install(args.cmake, args.build_dir, prefix)
    program_dir = os.path.realpath(os.path.join(prefix, "lib", "vornex-ide"))
    for name in PROGRAM_FILES:
        expect(os.path.isfile(os.path.join(program_dir, name)),
               f"{name} is not installed in {program_dir}: {os.listdir(program_dir)}")
    link = os.path.join(prefix, "bin", "vornex-ide")
    expect(os.path.islink(link), f"{link} is not a link")

    with Desktop(workdir) as desktop:
        # Started through the link, from a folder that is not the program folder.
        ide = Ide(desktop, link, workdir)
        try:
            untitled = os.path.join(program_dir, "Untitled.vornex")
            report = os.path.join(program_dir, "debugasm.html")
            main = ide.wait_window("VORNEX IDE - " + untitled)
            print("PASS the installed IDE starts through the link, at home in its program folder")

            ide.type(main, "main {\n}")
            ide.key(main, "F4")
            expect(wait_file(untitled) == b"main {\r\n}",
                   f"Assemble saved {open(untitled, 'rb').read()!r}")
            html = wait_file(report).decode()
            expect("Source: <code>" + untitled + "</code>" in html,
                   f"the report is not of {untitled}:\n{html[:1500]}")
            print("PASS Assemble saves the untitled file and the assembler writes its report "
                  "beside the IDE")

            ide.key(main, "F6")
            ide.wait_window("Debug Output", active=False)
            wait_for("the browser engine's process",
                     lambda: any(name.startswith("QtWebEngine") for name in ide.children()))
            print("PASS View Debug Output opens its window with the installed viewer module")

            ide.key(main, "ctrl+e")
            status = ide.wait_exit(10)
            expect(status == 0, f"the IDE ended with status {status}")
        except Failure:
            print(f"--- IDE output ---\n{ide.log_tail()}")
            raise
        finally:
            ide.kill()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    missing = missing_tools()
    if missing:
        print(f"SKIPPED: the installed IDE's test needs {', '.join(missing)}")
        return SKIP

    workdir = make_workdir("vornex-installed-")
    started = time.monotonic()
    try:
        run(args, workdir)
    except Skip as skip:
        print(f"SKIPPED: {skip}")
        return SKIP
    except Failure as failure:
        print(f"FAIL {failure}")
        args.keep = True
        return 1
    except Exception:
        traceback.print_exc()
        args.keep = True
        return 1
    finally:
        if args.keep:
            print(f"kept {workdir}")
        else:
            shutil.rmtree(workdir, ignore_errors=True)
    print(f"passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
