"""The documents point at what exists: every relative link, and every script a command names."""
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[2]
LINK = re.compile(r"\]\(([^)\s]+)\)")
# A script as a command names it, run from the checkout's root; not build/bench/... and the like.
SCRIPT = re.compile(r"(?<![\w/.-])(?:\./)?((?:scripts|bench)/[\w.-]*\w)")


def test_links_and_named_scripts_exist():
    documents = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
    assert len(documents) > 1
    missing = []
    for doc in documents:
        text = doc.read_text(encoding="utf-8")
        for target in LINK.findall(text):
            path = target.split("#")[0]
            if path and not re.match(r"[a-z]+:", path) and not (doc.parent / path).exists():
                missing.append(f"{doc.name}: link {target}")
        for script in SCRIPT.findall(text):
            if not (ROOT / script).is_file():
                missing.append(f"{doc.name}: {script}")
    assert not missing, missing
