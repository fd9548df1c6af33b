#!/usr/bin/env python3
"""Every Chinese text the panel can show has an English translation in the .ts file.

The texts are the panel's tr() literals and the Chinese string constants of the Qt-free headers
whose texts the panel shows (translated in the ShellTexts context); a piece that the code fills
around a value counts as translated when its template is.  A text missing from the
.ts, or present with an empty or unfinished translation, would appear in Chinese in an English
window.  Usage: ts_complete.py SOURCE_DIR TS_FILE
"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

LITERAL = r'"(?:[^"\\]|\\.)*"'
TR_CALL = re.compile(r'\btr\(\s*((?:' + LITERAL + r'\s*)+)')
CONSTANT = re.compile(r'constexpr\s+(?:const\s+)?char(?:\s*const)?\s*\*?\s*k\w+(?:\[\])?\s*=\s*((?:'
                      + LITERAL + r'\s*)+);')
HEADERS = ["src/shell/shell_texts.h", "src/shell/tray_model.h", "src/shell/close_rule.h",
           "src/shell/group_chooser.h", "src/groupservice/dialog_messages.h"]
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\", "'": "'"}


def unquote(literals):
    text = ""
    for lit in re.findall(LITERAL, literals):
        body = lit[1:-1]
        text += re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(0)), body)
    return text


def main():
    root, ts = pathlib.Path(sys.argv[1]), sys.argv[2]
    wanted = {}
    for cpp in sorted((root / "src/panel").glob("*.cpp")):
        for m in TR_CALL.finditer(cpp.read_text(encoding="utf-8")):
            wanted.setdefault(unquote(m.group(1)), cpp.name)
    for header in HEADERS:
        for m in CONSTANT.finditer((root / header).read_text(encoding="utf-8")):
            text = unquote(m.group(1))
            if any(ord(c) > 0x7F for c in text):
                wanted.setdefault(text, header)
    translated = set()
    for message in ET.parse(ts).getroot().iter("message"):
        tr = message.find("translation")
        if tr is not None and (tr.text or "").strip() and tr.get("type") != "unfinished":
            translated.add(message.findtext("source"))
    # a head or tail that the code fills around a value is translated by its template's entry
    templates = [t for t in translated if re.search(r"%[0-9a-z]", t)]

    def has_english(text):
        return text in translated or any(text in t for t in templates)

    missing = [(where, text) for text, where in wanted.items() if not has_english(text)]
    for where, text in missing:
        print(f"no English for {text!r} ({where})")
    print(f"{len(wanted)} texts, {len(missing)} without English")
    return 1 if missing or len(wanted) < 40 else 0


if __name__ == "__main__":
    sys.exit(main())
