#!/usr/bin/env python3
"""The translations of the windows' captions are up to date and complete.

Runs scripts/update_translations.sh on copies of translations/*.ts and fails
when a copy comes out different (a caption was added, changed or removed in the
sources since the files were last updated). Then checks each harbex_<language>.ts:
every caption has a finished translation that keeps its %1 placeholders, its
menu accelerator, its leading and trailing blanks and its closing "..." or ":".

Usage: check_translations.py SOURCE_FOLDER   (LUPDATE names the lupdate program)
"""

import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from collections import Counter
from pathlib import Path


def out_of_date(root: Path) -> list[str]:
    problems = []
    committed = sorted((root / "translations").glob("harbex*.ts"))
    if not committed:
        return ["no translations/harbex*.ts files"]
    with tempfile.TemporaryDirectory() as folder:
        for ts in committed:
            shutil.copy(ts, folder)
        subprocess.run(["bash", str(root / "scripts/update_translations.sh"), folder], check=True)
        for ts in committed:
            if (Path(folder) / ts.name).read_bytes() != ts.read_bytes():
                problems.append(f"{ts.name} is out of date with the sources: run scripts/update_translations.sh")
    return problems


def accelerators(text: str) -> int:
    return len(re.findall(r"&[^&\s]", text.replace("&&", "")))


def ending(text: str) -> str:
    stripped = text.rstrip()
    for end in ("...", ":"):
        if stripped.endswith(end):
            return end
    return ""


def blanks(text: str) -> tuple[str, str]:
    return text[: len(text) - len(text.lstrip())], text[len(text.rstrip()):]


def unfinished(ts: Path) -> list[str]:
    problems = []
    for context in ElementTree.parse(ts).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source") or ""
            translation = message.find("translation")
            where = f"{ts.name}: {name}: {source!r}"
            if translation is None or translation.get("type") or not (translation.text or ""):
                problems.append(f"{where}: not translated")
                continue
            text = translation.text
            if Counter(re.findall(r"%\d", source)) != Counter(re.findall(r"%\d", text)):
                problems.append(f"{where}: placeholders differ in {text!r}")
            if accelerators(source) != accelerators(text):
                problems.append(f"{where}: accelerator differs in {text!r}")
            if ending(source) != ending(text):
                problems.append(f"{where}: ending differs in {text!r}")
            if blanks(source) != blanks(text):
                problems.append(f"{where}: leading or trailing blanks differ in {text!r}")
    return problems


def main() -> int:
    root = Path(sys.argv[1]).resolve()
    problems = out_of_date(root)
    for ts in sorted((root / "translations").glob("harbex_*.ts")):
        problems += unfinished(ts)
    for problem in problems:
        print(problem)
    print(f"translations: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
