#!/usr/bin/env python3
"""Writes the manual page or the bash completion of `moravel` from its --help.

The option texts live in one place, the program's usage text; both files are
made from what the built program prints, so they cannot disagree with it.

    cli-docs.py man MORAVEL OUT           moravel.1 (roff)
    cli-docs.py completion MORAVEL OUT    the bash completion
"""
import re
import subprocess
import sys

OPTION_LINE = re.compile(r"^  (-\S.*?)(?:\s{2,}(\S.*))?$")
CONTINUATION = re.compile(r"^\s{20,}(\S.*)$")


def parse_help(text):
    """Splits the usage text into synopsis, description, options and notes."""
    lines = text.rstrip("\n").split("\n")
    synopsis = lines[0].removeprefix("usage: ")
    description, options, notes = [], [], []
    for line in lines[1:]:
        option = OPTION_LINE.match(line)
        continued = CONTINUATION.match(line)
        if option and not continued:
            options.append([option.group(1), option.group(2) or ""])
        elif continued and options and not notes:
            # An option too long for its column has its text on the next lines.
            options[-1][1] = (options[-1][1] + " " + continued.group(1)).strip()
        elif options:
            notes.append(line)
        else:
            description.append(line)
    return synopsis, " ".join(description), options, paragraphs(notes)


def paragraphs(lines):
    """Joins wrapped lines; a line ending a sentence ends a paragraph."""
    result, current = [], []
    for line in lines:
        current.append(line.strip())
        if line.rstrip().endswith("."):
            result.append(" ".join(current))
            current = []
    if current:
        result.append(" ".join(current))
    return result


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def manual_page(help_text, version):
    synopsis, description, options, notes = parse_help(help_text)
    exit_notes = [n for n in notes if n.startswith("Exit status:")]
    other_notes = [n for n in notes if not n.startswith("Exit status:")]
    out = [
        f'.TH MORAVEL 1 "" "moravel {version}" "User Commands"',
        ".nh",
        ".ad l",
        ".SH NAME",
        "moravel \\- convert pictures to one format",
        ".SH SYNOPSIS",
        ".B moravel",
        roff(synopsis.removeprefix("moravel ")),
        ".SH DESCRIPTION",
        roff(description),
    ]
    for note in other_notes:
        out += [".PP", roff(note)]
    out.append(".SH OPTIONS")
    for names, text in options:
        out += [".TP", f".B {roff(names)}"]
        out.append(roff(text))
    out.append(".SH EXIT STATUS")
    for note in exit_notes:
        body = note.removeprefix("Exit status:").strip()
        for status in body.rstrip(".").split("; "):
            code, _, meaning = status.partition(" ")
            out += [".TP", f".B {code}", roff(meaning)]
    return "\n".join(out) + "\n"


def completion(help_text):
    _, _, options, _ = parse_help(help_text)
    names, values = [], {}
    for usage, _ in options:
        for form in usage.split(", "):
            name, _, argument = form.partition(" ")
            names.append(name)
            if "|" in argument and ":" not in argument:
                values[name] = argument.split("|")
    cases = "\n".join(
        f'    {name}) COMPREPLY=($(compgen -W "{" ".join(words)}" -- "$cur")); return ;;'
        for name, words in values.items())
    return f"""# bash completion of moravel, made from moravel --help
_moravel() {{
  local cur prev
  cur="${{COMP_WORDS[COMP_CWORD]}}"
  prev="${{COMP_WORDS[COMP_CWORD-1]}}"
  case "$prev" in
{cases}
    --output-folder|--plugin-folder) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --settings|--save-settings) COMPREPLY=($(compgen -f -- "$cur")); return ;;
  esac
  if [[ "$cur" == -* ]]; then
    COMPREPLY=($(compgen -W "{" ".join(names)}" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}}
complete -o filenames -F _moravel moravel
"""


def main():
    kind, program, out_path = sys.argv[1:4]
    help_text = subprocess.run([program, "--help"], check=True, capture_output=True,
                               text=True).stdout
    version = subprocess.run([program, "--version"], check=True, capture_output=True,
                             text=True).stdout.split("\n")[0].split()[-1]
    text = manual_page(help_text, version) if kind == "man" else completion(help_text)
    with open(out_path, "w", encoding="utf-8") as out:
        out.write(text)


if __name__ == "__main__":
    main()
