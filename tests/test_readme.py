"""The README's example runs as written and prints what its comments say."""

import contextlib
import io
import os
import re
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def test_readme_example_runs_as_written():
    text = (ROOT / "README.md").read_text()
    block = re.search(r"```python\n(.*?)```", text, re.S).group(1)
    out = io.StringIO()
    cwd = os.getcwd()
    os.chdir(ROOT)
    try:
        with contextlib.redirect_stdout(out):
            exec(compile(block, "README.md", "exec"), {})
    finally:
        os.chdir(cwd)
    lines = out.getvalue().splitlines()
    assert lines[0] == "5"
    assert lines[1] == "255 True"
    assert int(lines[2]) > 0
