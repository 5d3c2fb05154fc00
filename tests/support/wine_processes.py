"""Finding the Windows process behind a program started through Wine."""
from pathlib import Path


def windows_process_pid(program, marker):
    """The Wine process whose command line starts with a Z: path naming
    `program` (for example "moravel.exe") and contains `marker`; None when
    there is none (yet). Signals sent to it reach the Windows program, not the
    wine launcher in front of it."""
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if command.startswith("Z:") and program in command and marker in command:
            return int(entry.name)
    return None
