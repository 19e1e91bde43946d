#!/usr/bin/python3
"""The English translation of the interface (translations/quillon_en.ts).

  translations.py update          lupdate over src/ui and src/app into the .ts
  translations.py todo [FILE]     unfinished entries as "context<TAB>source<TAB>" lines
                                  (\\n, \\t and \\\\ written as escapes) to FILE or stdout
  translations.py fill FILE       takes "context<TAB>source<TAB>english" lines (context may be
                                  empty: every context) into the .ts, then updates it
  translations.py check           the test: lupdate over the sources into a temporary copy of
                                  the .ts; fails on any source text without English, and on
                                  any German string literal that bypasses the translation
                                  system (not seen by lupdate, not on the allow-list)

After new strings: `translations.py update`, `translations.py todo todo.tsv`, write the English
into the third column, `translations.py fill todo.tsv`, `translations.py check`.
Folders named in translations/pending.txt are left out of both checks until they are done.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TS = os.path.join(ROOT, "translations", "quillon_en.ts")
ALLOW = os.path.join(ROOT, "translations", "allow.txt")
PENDING = os.path.join(ROOT, "translations", "pending.txt")
SOURCES = ["src/ui", "src/app"]


def lupdate_binary():
    for cand in (os.environ.get("LUPDATE"), "/usr/lib/qt6/bin/lupdate", shutil.which("lupdate")):
        if cand and os.path.exists(cand):
            return cand
    sys.exit("translations: lupdate not found (Debian: qt6-l10n-tools, scripts/install-deps.sh)")


def run_lupdate(ts, locations="none"):
    cmd = [lupdate_binary(), "-silent", "-locations", locations, "-no-obsolete",
           "-source-language", "de", "-target-language", "en",
           "-extensions", "cpp,h", "-I", os.path.join(ROOT, "src")] + [os.path.join(ROOT, s) for s in SOURCES] + ["-ts", ts]
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("translations: lupdate failed:\n" + r.stdout + r.stderr)
    return r.stdout + r.stderr


def escape(t):
    return t.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t")


def unescape(t):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), t)


def messages(ts):
    """(context, message element) for every message of the .ts."""
    root = ET.parse(ts).getroot()
    for ctx in root.iter("context"):
        name = ctx.findtext("name")
        for m in ctx.iter("message"):
            yield name, m


def unfinished(m):
    tr = m.find("translation")
    if tr is None or tr.get("type") in ("unfinished", "vanished", "obsolete"):
        return True
    forms = tr.findall("numerusform")
    if forms:
        return any(not (f.text or "").strip() for f in forms)
    return not (tr.text or "").strip()


def read_list(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [ln.rstrip("\n") for ln in f if ln.strip() and not ln.startswith("#")]


# ---- the scan for German literals -----------------------------------------------------------

GERMAN_WORDS = set("""
und oder nicht der die das den dem des ein eine einer einen eines ist sind mit für von vom bei
auf aus nach zum zur wird werden wurde wurden kann können keine kein bitte Bitte Bild Bilder
Datei Dateien Fehler Ebene Ebenen Fenster Ansicht Wert Werte Farbe alle Alle neue Neue neues
Abbrechen Hilfe Einstellungen Stern Sterne Summe Komposit Zeile Spalte Belichtung Datum Zeit
Zeilen Spalten Punkt Punkte Liste Auswahl Breite Höhe Anzahl Name Typ Keine Kein Quelle Ziel
Speicher Drucken Seite Dunkel Rauschen Maske Stärke Modus Kanal Kanäle Helligkeit Kontrast
Ausrichten Referenz Referenzpunkt Stapel Starten Anwenden Schließen Einfügen Kopieren Neu
Histogramm Skalierung Zoomnavigator Photometrie Bildinformationen Vorschau Grau Graubild
Hell Rot Grün Blau Uhrzeit Inhalt Bereit Sprache Symbolleiste Spiegeln Drehen Bildtyp
Sternzeit Komposite Werkzeuge Aktionen Bearbeiten Deutsch
""".split())
GERMAN_PART = re.compile(r"[äöüÄÖÜß]|[A-Za-z]{3,}(ung|ungen|heit|keit|lich|isch|ieren|iert)\b"
                         r"|sch|\b(an|auf|aus|bei|ein|ent|ver|zer|vor|zu|ab|um)[a-z]{3,}(en|ern)\b")
PATHLIKE = re.compile(r"^[A-Za-z0-9.:/*\-+%_]*$")


def looks_german(text):
    letters = sum(ch.isalpha() for ch in text)
    if letters < 2:
        return False
    if PATHLIKE.match(text) and ("/" in text or "." in text or "_" in text):
        return False  # paths, file names, settings keys
    if GERMAN_PART.search(text):
        return True
    return any(w in GERMAN_WORDS for w in re.findall(r"\w+", text))


def literals(path):
    """(line, text) of every string literal in a C++ file; adjacent literals are joined."""
    src = open(path, encoding="utf-8").read()
    out, i, n, line = [], 0, len(src), 1
    pending, pending_line, gap_only = None, 0, True

    def flush():
        nonlocal pending
        if pending is not None:
            out.append((pending_line, pending))
        pending = None

    while i < n:
        c = src[i]
        if c == "\n":
            line += 1
            i += 1
        elif src.startswith("//", i):
            j = src.find("\n", i)
            i = n if j < 0 else j
        elif src.startswith("/*", i):
            j = src.find("*/", i + 2)
            j = n if j < 0 else j + 2
            line += src.count("\n", i, j)
            i = j
        elif c == "'":
            j = i + 1
            while j < n and src[j] != "'":
                j += 2 if src[j] == "\\" else 1
            i = j + 1
            flush()
        elif c == '"' or (c == "R" and src.startswith('R"', i)):
            start_line = line
            if c == "R":
                m = re.match(r'R"([^(]*)\(', src[i:])
                end = src.find(")" + m.group(1) + '"', i)
                text = src[i + m.end():end]
                line += src.count("\n", i, end)
                i = end + len(m.group(1)) + 2
            else:
                j, buf = i + 1, []
                while j < n and src[j] != '"':
                    if src[j] == "\\":
                        e = src[j + 1]
                        buf.append({"n": "\n", "t": "\t", "r": "\r", "0": "\0"}.get(e, e))
                        j += 2
                    else:
                        buf.append(src[j])
                        j += 1
                text = "".join(buf)
                i = j + 1
            if pending is None:
                pending, pending_line = text, start_line
            else:
                pending += text
        elif c.isspace():
            i += 1
        else:
            # Prefixes (u8, L, u, U) stay attached to the next literal; anything else ends one.
            m = re.match(r"(u8|u|U|L)\"", src[i:])
            if m:
                i += len(m.group(1))
                continue
            flush()
            m = re.match(r"\w+", src[i:])
            i += len(m.group(0)) if m else 1
    flush()
    return out


def scan(known, allow, pending):
    allow_res = [re.compile(a) for a in allow]
    faults = []
    for sub in SOURCES:
        for dirpath, _, files in os.walk(os.path.join(ROOT, sub)):
            for f in sorted(files):
                if not f.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(dirpath, f)
                rel = os.path.relpath(path, ROOT)
                if any(rel == p or rel.startswith(p.rstrip("/") + "/") for p in pending):
                    continue
                for line, text in literals(path):
                    if text in known or not looks_german(text):
                        continue
                    if any(r.search(text) for r in allow_res):
                        continue
                    faults.append("%s:%d: %s" % (rel, line, escape(text)))
    return faults


# ---- commands --------------------------------------------------------------------------------

def check():
    pending = read_list(PENDING)
    with tempfile.TemporaryDirectory() as tmp:
        ts = os.path.join(tmp, "check_en.ts")
        shutil.copy(TS, ts)
        run_lupdate(ts, locations="relative")
        known, missing = set(), []
        base, last = os.path.dirname(ts), ""
        for ctx, m in messages(ts):
            source = m.findtext("source") or ""
            known.add(source)
            files = []
            for loc in m.findall("location"):  # a name is left out when it repeats
                last = loc.get("filename") or last
                files.append(os.path.relpath(os.path.normpath(os.path.join(base, last)), ROOT))
            if files and all(any(f == p or f.startswith(p.rstrip("/") + "/") for p in pending)
                             for f in files):
                continue
            if unfinished(m):
                missing.append("%s: %s  (%s)" % (ctx, escape(source), ", ".join(sorted(set(files)))))
    faults = scan(known, read_list(ALLOW), pending)
    if missing:
        print("Source texts without English (translations.py todo/fill):")
        print("\n".join("  " + x for x in missing))
    if faults:
        print("German string literals outside the translation system (tr, translate,"
              " QT_TRANSLATE_NOOP; or translations/allow.txt):")
        print("\n".join("  " + x for x in faults))
    if missing or faults:
        return 1
    print("translations: %d source texts, all in English; no German literal bypasses tr"
          % len(known))
    return 0


def todo(out):
    rows = ["%s\t%s\t" % (ctx, escape(m.findtext("source") or ""))
            for ctx, m in messages(TS) if unfinished(m)]
    text = "\n".join(rows) + ("\n" if rows else "")
    if out:
        open(out, "w", encoding="utf-8").write(text)
        print("%d unfinished entries written to %s" % (len(rows), out))
    else:
        sys.stdout.write(text)


def fill(tsv):
    table = {}
    for ln in read_list(tsv):
        parts = ln.split("\t")
        if len(parts) < 3 or not parts[2].strip():
            continue
        table[(parts[0], unescape(parts[1]))] = unescape(parts[2])
    tree = ET.parse(TS)
    done = 0
    for ctx in tree.getroot().iter("context"):
        name = ctx.findtext("name")
        for m in ctx.iter("message"):
            src = m.findtext("source") or ""
            english = table.get((name, src), table.get(("", src)))
            if english is None:
                continue
            tr = m.find("translation")
            if tr is None:
                tr = ET.SubElement(m, "translation")
            tr.attrib.pop("type", None)
            tr.text = english
            done += 1
    tree.write(TS, encoding="utf-8", xml_declaration=True)
    run_lupdate(TS)  # back to lupdate's own layout
    print("%d entries filled" % done)


def main(argv):
    if len(argv) < 2 or argv[1] not in ("update", "todo", "fill", "check"):
        print(__doc__)
        return 2
    if argv[1] == "update":
        sys.stdout.write(run_lupdate(TS))
    elif argv[1] == "todo":
        todo(argv[2] if len(argv) > 2 else None)
    elif argv[1] == "fill":
        fill(argv[2])
    else:
        return check()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
