from typing import Optional, Sequence

def main(argv: Optional[Sequence[str]] = None) -> int:
    """Runs the korvane command with argv (sys.argv[1:] when None); returns the exit status."""
