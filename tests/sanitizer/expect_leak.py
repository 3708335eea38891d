# SPDX-License-Identifier: Zlib
"""Runs the leak probe with the project's suppressions and passes only if
LeakSanitizer reports the probe's leak, with its stack running from the
callback through the GL driver to the engine's quelt::Axis.
Usage: expect_leak.py PROBE SUPPRESSIONS"""
import os
import re
import subprocess
import sys

probe, suppressions = sys.argv[1:3]
# Stacks are not scanned: a dead copy of the leaked address in a stack slot
# would otherwise make the leak look reachable, depending on how the frames
# fall. Only more is reported that way, never less.
env = dict(os.environ, LSAN_OPTIONS="use_stacks=0:suppressions=" + suppressions)
run = subprocess.run([probe], env=env, capture_output=True, text=True, timeout=240)
output = run.stdout + run.stderr
if "leaked one debug message" not in output:
    sys.exit("the probe did not leak as meant (exit %d):\n%s" % (run.returncode, output))
leaks = re.split(r"\n(?=(?:Direct|Indirect) leak of )", output)
found = [leak for leak in leaks
         if re.search(r" in KeepMessage ", leak) and re.search(r"\.so[^\n]*\n.* in quelt::Axis\(", leak)]
if run.returncode == 0 or not found:
    sys.exit("LeakSanitizer did not report the leak made through the GL driver (exit %d):\n%s"
             % (run.returncode, output))
print(found[0])
