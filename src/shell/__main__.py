# src/shell/__main__.py: `python -m korvane`, the command line
import sys

from korvane.cli import main

sys.exit(main())
