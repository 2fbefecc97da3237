#!/usr/bin/env python3
"""Writes dist/vistamaze-render.1 from the renderer's --help, so the man page lists the same
options with the same words. The version stays @PROJECT_VERSION@, which the build fills in from
CMake's project version. Usage: tools/make_manpage.py PATH/TO/vistamaze-render"""
import pathlib
import re
import subprocess
import sys

OPTION = re.compile(r"^  (?:(-\w), )?\s*(--[\w-]+)(?: ([^ ].*?))?\s{2,}(\S.*)$")


def roff(text):
    return text.replace("\\", "\\\\").replace("-", "\\-")


def option_entries(help_text):
    lines = help_text.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("Options:"))
    entries, heading = [], []
    for line in lines[start + 1:]:
        if not line.strip():
            continue
        if not line.startswith(" "):
            heading.append(line.strip())
            if line.rstrip().endswith(":"):
                entries.append(("section", " ".join(heading).rstrip(":")))
                heading = []
            continue
        match = OPTION.match(line)
        if match:
            entries.append(["option", match.groups()])
        elif entries and entries[-1][0] == "option":
            short, long_name, argument, description = entries[-1][1]
            entries[-1][1] = (short, long_name, argument, description + " " + line.strip())
    return entries


def main():
    renderer = sys.argv[1]
    help_text = subprocess.run([renderer, "--help"], check=True, capture_output=True, text=True).stdout
    body = []
    for kind, value in option_entries(help_text):
        if kind == "section":
            body.append('.SS "%s"' % roff(value))
            continue
        short, long_name, argument, description = value
        head = ("\\fB%s\\fR, " % roff(short)) if short else ""
        head += "\\fB%s\\fR" % roff(long_name)
        if argument:
            head += " \\fI%s\\fR" % roff(argument)
        body.append(".TP\n%s\n%s" % (head, roff(description)))
    template = pathlib.Path(__file__).with_name("vistamaze-render.1.in").read_text()
    page = template.replace("@OPTIONS@", "\n".join(body))
    out = pathlib.Path(__file__).resolve().parent.parent / "dist" / "vistamaze-render.1"
    out.write_text(page)
    print(out)


main()
