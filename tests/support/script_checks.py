"""What the end-to-end test scripts share: failed checks collected and
reported at the end, and paths as a Windows program under Wine sees them."""

FAILURES = []


def check(condition, message):
    """Records a failed check and goes on; returns the condition."""
    if not condition:
        FAILURES.append(message)
        print("FAIL:", message, flush=True)
    return condition


def finish(success_text):
    """The script's exit status: 1 after any failed check."""
    if FAILURES:
        print(f"{len(FAILURES)} failure(s)")
        return 1
    print(success_text)
    return 0


def wine_path(path):
    """A Linux path on Wine's Z: drive."""
    return "Z:" + str(path).replace("/", "\\")
