#!/usr/bin/env python3
"""The manual's command-line page and README say what moravel --help says:
every option with the same words for its values, and the same exit statuses
with the same meanings, which the program gives.

    docs_agree_test.py MORAVEL SOURCE_DIR PICTURE
"""
import html
import os
import re
import subprocess
import sys
import tempfile

OPTION_LINE = re.compile(r"^  (-[^ ].*?)(?:\s{2,}|$)")


def help_options(help_text):
    """'--format bmp|png|jpeg|gif|jpegcopy', '--jobs N', ... as --help spells them."""
    options = []
    for line in help_text.splitlines():
        match = OPTION_LINE.match(line)
        if match:
            options += [part for part in match.group(1).split(", ") if part.startswith("--")]
    return options


def help_exit_statuses(help_text):
    flat = " ".join(help_text.split())
    statement = re.search(r"Exit status: (.*?)\.(?: |$)", flat).group(1)
    return sorted(int(status.split()[0]) for status in statement.split("; "))


def manual_exit_table(page):
    section = page[page.index("<h2>Exit status</h2>"):]
    section = section[:section.index("</table>")]
    rows = re.findall(r"<tr><td>(\d+)</td><td>(.*?)</td></tr>", " ".join(section.split()))
    return {int(code): html.unescape(meaning) for code, meaning in rows}


def readme_exit_table(readme):
    section = readme[readme.index("Exit status, for scripts:"):]
    rows = re.findall(r"^\| (\d+) \| (.*?) \|$", section, re.M)
    return {int(code): meaning for code, meaning in rows}


def main():
    program, source_dir, picture = sys.argv[1:4]
    failures = []
    help_text = subprocess.run([program, "--help"], capture_output=True, text=True,
                               check=True).stdout
    with open(os.path.join(source_dir, "help", "command_line.html"), encoding="utf-8") as f:
        page = f.read()
    with open(os.path.join(source_dir, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    manual_text = html.unescape(" ".join(re.sub(r"<[^>]+>", " ", page).split()))

    options = help_options(help_text)
    if len(options) < 10:
        failures.append(f"found only {options} in --help")
    for option in options:
        if option not in manual_text:
            failures.append(f"the manual's command-line page lacks '{option}'")
        if option not in readme:
            failures.append(f"README lacks '{option}'")

    # The formats, exactly: a document naming a format the program lacks is wrong too.
    help_formats = [o for o in options if o.startswith("--format ")]
    for name, text in (("the manual", manual_text), ("README", readme)):
        listed = re.findall(r"--format ([a-z|]+\|[a-z|]+)", text)
        if not help_formats or any(f"--format {names}" != help_formats[0] for names in listed):
            failures.append(f"{name} lists formats {listed}, --help {help_formats}")

    statuses = help_exit_statuses(help_text)
    manual_table, readme_table = manual_exit_table(page), readme_exit_table(readme)
    if sorted(manual_table) != statuses:
        failures.append(f"the manual lists exit statuses {sorted(manual_table)}, --help {statuses}")
    if manual_table != readme_table:
        failures.append(f"the manual's exit statuses {manual_table} differ from README's {readme_table}")

    with tempfile.TemporaryDirectory() as out:
        def status(*args):
            return subprocess.run([program, "--output-folder", out, *args],
                                  capture_output=True, check=False).returncode
        cases = [("every file converted", 0, [picture]),
                 ("one file missing", 1, [picture, os.path.join(out, "missing.png")]),
                 ("no input files", 2, []),
                 ("bad usage", 2, ["--quality", "0", picture])]
        for what, expected, args in cases:
            got = status("--format", "png", *args)
            if got != expected:
                failures.append(f"{what}: exit status {got}, documented {expected}")
            elif expected not in manual_table:
                failures.append(f"{what}: status {expected} is not documented")

    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
