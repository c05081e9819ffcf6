"""zimbro-pack on its own (no Wine): --check findings and exit codes, --list,
messages templates and blocks, names, reproducible output, limits and
failures that leave no partial installer."""
import os
import random
import resource
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

from pack_support import (BASE_TIME, DEMO, PACK, STUB, PackTestCase, archive_name, check_readers, mixed_tree, read,
                          run, signed_stub, tree_entries, write)

E, W = "error", "warning"

# script, code page, expected findings as {(line, kind, fragment)}, exit code
CHECK_CASES = [
    ("clean", open(os.path.join(DEMO, "comment.txt")).read(), 1252, set(), 0),
    ("blank before =", "Title=A\r\nPath =C:\\x\r\n", 1252, {(2, E, 'blanks around the keyword "Path "')}, 2),
    ("blank before keyword", " Silent=1\n", 1252, {(1, E, "as a Silent command")}, 2),
    ("lower case is fine", "path=C:\\x\ntitle=t\n", 1252, set(), 0),
    ("unknown keyword", "Titel=x\nSilentt\n;comment\n\n{\n}\n", 1252,
     {(1, W, 'unknown keyword "Titel"'), (2, W, '"Silentt" is not a command')}, 1),
    ("stray text", "Hello world\n", 1252, {(1, W, "text outside a Text or License block")}, 1),
    ("unclosed Text", "Title=x\nText\n{\nHello\n", 1252, {(2, E, "Text block without its closing '}'")}, 2),
    ("unclosed License", "License=Terms\n{\nx\n}\nText\n{\nA\n", 1252, {(5, E, "Text block without")}, 2),
    ("block without {", "Text\nHello\n}\n", 1252, {(1, W, "no '{' line after Text")}, 1),
    ("Text value and block", "Text=short\n{\nlong text\n}\n", 1252,
     {(1, W, "the block below is not its text"), (3, W, "text outside")}, 1),
    ("command in block", "Text\n{\nSetup=x.exe\n}\n", 1252, {(3, W, "also run as a Setup command")}, 1),
    ("long line", "Title=" + "x" * 5000 + "\n", 1252,
     {(1, E, "more than 4,095 characters"), (1, W, "is not a command")}, 2),
    ("Path forms", "Path=./app\nPath=C:app\nPath=\"C:\\a\"b\"\nPath=\nPath= C:\\x\nPath=..\\up\nPath=C:\\a?\n", 1252,
     {(1, E, "begins with '/'"), (2, W, "drive-relative"), (3, E, "a double quote inside"), (4, W, "empty Path"),
      (5, E, "begins with a blank"), (6, W, 'begins with "..\\"'), (7, E, "cannot hold (< > | ? *)"),
      (2, W, "Path again (first on line 1)"), (3, W, "Path again"), (4, W, "Path again"), (5, W, "Path again"),
      (6, W, "Path again"), (7, W, "Path again")}, 2),
    ("long Path", "Path=C:\\" + "a" * 1100 + "\n", 1252, {(1, E, "path buffer holds 1,023")}, 2),
    ("Shortcuts", 'Shortcut\nShortcut=D,,Sub\nShortcut=Q,app.exe\nShortcut=P,a.exe,\\abs,d,n,i,extra\n'
                  'Shortcut=D,"""a.exe"" -x"\nShortcut=S,a.exe,,,dir\\name\n', 1252,
     {(1, E, "without '=' and fields"), (2, E, "field 2 (target) is empty"), (3, W, 'location "Q"'),
      (4, E, "field 3 (subfolder)"), (4, W, "more than six fields"), (5, E, "which holds a double quote"),
      (6, W, "only its name part")}, 2),
    ("Delete outside", "Delete=..\\*.txt\nDelete=C:\\x\nDelete\n", 1252,
     {(1, E, "reaches outside"), (2, E, "reaches outside"), (3, W, "matches nothing")}, 2),
    ("Overwrite and programs", "Overwrite=x\nSetup=\nPresetup= \nSavePath\n", 1252,
     {(1, W, "does not begin with 0, 1 or 2"), (2, W, "nothing is started"), (3, W, "nothing is started"),
      (4, W, "SavePath without a Path")}, 1),
    ("code page", "Title=\u0141\u00f3d\u017a\n", 1252, {(1, E, "(U+0141) cannot be written in code page 1252")}, 2),
    ("code page 1250", "Title=\u0141\u00f3d\u017a\n", 1250, set(), 0),
    ("not UTF-8", b"Title=caf\xe9\n", 1252, {(1, E, "not UTF-8 text")}, 2),
    ("script too long", "Text\n{\n" + ("x" * 60 + "\n") * 600 + "}\n", 1252,
     {(0, E, "the stub finds a script of at most 32,745 bytes")}, 2),
    ("comment too long", ";x\n" * 25000, 1252, {(0, E, "holds at most 65,535")}, 2),
]

FULL_SCRIPT = """Title=Demo \u00e9
Path=Zimbro Demo
Silent=2
Overwrite=2
SavePath
Text
{
Welcome.
}
License=Terms
{
Be nice.
}
Presetup=prepare.bat
Delete=old\\*.tmp
Shortcut=P,app.exe,Zimbro,Runs it,Zimbro App,app.ico
Setup=app.exe /first
"""



def spoiled_copies_test(case, cases, test_args=()):
    """Runs --test (with test_args) on a copy of each installer, spoiled by
    its function (or not), and expects its exit code and a line that says why."""
    for name, installer, spoil, code, says in cases:
        with case.subTest(name):
            copy = case.path("case.exe")
            shutil.copy(installer, copy)
            if spoil:
                spoil(copy)
            got, out, err = run("--test", copy, *test_args)
            case.assertEqual(got, code, out + err)
            case.assertIn(says, out + err)


class CheckTest(PackTestCase):
    def test_findings_and_exit_codes(self):
        for name, script, code_page, expected, exit_code in CHECK_CASES:
            with self.subTest(name):
                path = self.path("script.txt")
                write(path, script)
                code, out, err = run("--check", path, "--codepage", code_page)
                self.assertEqual(code, exit_code, out + err)
                found = set()
                for line in out.splitlines():
                    if line.startswith(path + ":") and (": error: " in line or ": warning: " in line):
                        head, kind, text = line[len(path):].split(": ", 2)
                        found.add((int(head[1:]) if head else 0, kind, text))
                for number, kind, fragment in expected:
                    self.assertTrue(any(n == number and k == kind and fragment in t for n, k, t in found),
                                    "%s %d %s %r not in\n%s" % (name, number, kind, fragment, out))
                self.assertEqual(len(found), len(expected), out)

    def test_passes_in_run_order(self):
        path = self.path("full.txt")
        write(path, FULL_SCRIPT)
        code, out, _ = run("--check", path)
        self.assertEqual(code, 0, out)
        steps = ["Prescan      remembers the chosen destination",
                 "DialogInit   silent mode 2: the dialog opens and installs at once",
                 "existing files: kept (skipped)", 'caption "Demo \u00e9"',
                 "destination: <programs folder>\\Zimbro Demo", "text: 1 Text command, 10 characters",
                 'LicenseInit  license dialog titled "Terms", 10 characters of text',
                 'RunPresetup  starts the batch file "prepare.bat" (destination or system folders) and waits '
                 'for it',
                 'DeleteFiles  deletes "old\\*.tmp" in the destination', "(the archive is extracted",
                 'Shortcuts    Programs menu\\Zimbro\\Zimbro App.lnk -> app.exe, description "Runs it", icon app.ico',
                 'RunSetup     starts the program "app.exe" (destination or system folders) with the arguments "/first" '
                 'after the dialog has closed']
        positions = [out.find(step) for step in steps]
        self.assertNotIn(-1, positions, out)
        self.assertEqual(positions, sorted(positions), out)

    def test_temporary_folder_mode(self):
        path = self.path("temp.txt")
        write(path, "TempMode=Install now?,Setup\nSetup=run.bat\n")
        code, out, _ = run("--check", path)
        self.assertEqual(code, 0, out)
        for text in ["temporary-folder mode", "silent mode 2", 'asks "Install now?" under the title "Setup"',
                     'starts the batch file "run.bat" (destination or system folders) and waits for it; '
                     'then the temporary folder is removed']:
            self.assertIn(text, out)

    def test_pack_refuses_a_script_with_errors(self):
        script = self.path("bad.txt")
        write(script, "Title=x\nPath =C:\\x\nTitel=y\n")
        output = self.path("setup.exe")
        _, err = self.pack(output, "--script", script, DEMO, expect=2)
        self.assertIn(script + ":2: error:", err)
        self.assertIn(script + ":3: warning:", err)
        self.assertIn("1 error, 1 warning in the script: no installer written", err)
        self.assertEqual(os.listdir(self.work), ["bad.txt"])


# The stub's reading rules, seen through what --check says the passes do:
# script, then fragments of the report.
READER_CASES = [
    ('Shortcut=D,a  b,"b, c" ,d\n', ['desktop\\b, c \\a  b.lnk -> a  b, description "d"']),
    ('Shortcut=S,"""app.exe"" -x",,,Run\n', ['Start menu\\Run.lnk -> app.exe (arguments: -x)']),
    ('Shortcut=t,"say ""hi""",,,"",\n', ['Startup folder\\say "hi".lnk -> say "hi"']),
    ("Path=\"C:\\Program Files\\X\"\n", ["destination: C:\\Program Files\\X\n"]),
    ("Path=.\\Apps\n", ["destination: Apps (relative to the folder the installer starts in)"]),
    ("path=\\Apps\n", ["destination: \\Apps\n"]),
    # The stub expands the variables first: a full path is taken as it is.
    ("Path=%ProgramFiles%\\My App\n", ["destination: %ProgramFiles%\\My App as the target machine expands %ProgramFiles%: "
                                        "taken as it is when that is a full path, else inside <programs folder>"]),
    ("Title=A\rPath=B\r", ['caption "A"', "destination: <programs folder>\\B"]),
    ("Title=" + "x" * 4089 + "Setup=x.exe\n",
     ['starts the program "x.exe" (destination or system folders) after the dialog has closed']),
    ("TempMode=Install now?@Setup\n", ['asks "Install now?" under the title "Setup"']),
    ("Silent=1\nTempMode\n", ["silent mode 1:"]),
    ("TempMode\nSilent=0\n", ["silent mode 0:"]),
    ("Overwrite\n", ["existing files: replaced"]),
    ("Overwrite=2\nOverwrite=0\n", ["existing files: the user is asked"]),
    ("Text=ab\nText\n{\n{x\ny  \n{z\n}\n", ["text: 2 Text commands, 13 characters"]),
    ("Text\n{\n\n{\n}\n", ["text: 1 Text command, 5 characters"]),
    ("Text\n{\nx \t \n}\n", ["text: 1 Text command, 5 characters"]),  # a tab is no blank
    # Setup and Presetup by what the launcher does with them.
    ("Setup=setup.inf\n", ['RunSetup     installs "setup.inf" (destination or system folders; its Install section)']),
    ('Presetup="read me.txt" now\n', ['opens "read me.txt" (destination or system folders) with the program '
                                       'Windows has for .txt files with the arguments "now" and waits for it']),
    ("Setup=\n", ["RunSetup     starts nothing (no program given)"]),
    # Only a relative name is looked for; a bare name is a program; an
    # address goes to the shell whole.
    ("Setup=tool /x\n", ['starts the program "tool.exe" (destination or system folders) with the arguments "/x"']),
    ('Setup="C:\\Tools\\app.exe" /x\n', ['starts the program "C:\\Tools\\app.exe" with the arguments "/x"']),
    ("Setup=zimbro://page/x /q\n", ['RunSetup     opens the address "zimbro://page/x" with the arguments "/q"']),
    ("Text\n{\nOverwrite=1\n}\n", ["is also run as an Overwrite command"]),
]


class ReaderTest(PackTestCase):
    def test_the_stubs_reading_rules(self):
        for script, fragments in READER_CASES:
            with self.subTest(script[:40]):
                path = self.path("script.txt")
                write(path, script)
                _, out, _ = run("--check", path)
                for fragment in fragments:
                    self.assertIn(fragment, out)


class ScriptCasesTest(PackTestCase):
    def test_the_shared_table_reads_the_same_here(self):
        cases = os.path.join(os.path.dirname(PACK), "zimbro-pack-script-cases")
        result = subprocess.run([cases], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


class MessagesTest(PackTestCase):
    def template(self, *args):
        code, out, err = run("--messages-template", "--stub", STUB, *args)
        self.assertEqual(code, 0, err)
        return out

    def test_template_holds_every_text_under_its_key(self):
        text = self.template()
        lines = text.split("\r\n")
        self.assertEqual(lines[0], "***messages**")
        for entry in ['664abaa4="Error"', '3478d231="100*100"', '50a17ae8="LTR"', '077e53df="Install"']:
            self.assertIn(entry, lines)
        self.assertIn('664abaa4="[Error]"', self.template("--pseudo").split("\r\n"))
        self.assertEqual(sum(1 for line in lines if line[8:10] == '="'), 1 + 5 + 28 + 42, text)

    def test_blocks_are_checked_before_they_are_used(self):
        good = '***messages**\r\n664abaa4="Fehler"\r\nc2f7663d="Entpacke %s"\r\n'
        cases = [
            ("valid", good, 0, []),
            ("no marker", '664abaa4="Fehler"\n', 2, ["1: error: the first line is not the marker"]),
            ("unknown key", good + 'deadbeef="x"\n', 2, ["4: error: unknown key deadbeef"]),
            ("upper case", good + '664ABAA4="x"\n', 2, ["4: error: key 664ABAA4 has upper-case digits"]),
            ("lost %s", '***messages**\nc2f7663d="Entpacke"\n', 2,
             ["2: error: message 101: the conversions of the value (none) differ from the English text's (%s)"]),
            ("extra %d", '***messages**\nc2f7663d="%s %d"\n', 2, ["2: error: message 101"]),
            ("no closing quote", '***messages**\n664abaa4="Fehler\n', 2, ["2: error: the value of 664abaa4 has no"]),
            ("bad size", '***messages**\n3478d231="120x110"\n', 2, ["2: error: the size of STARTDLG must be"]),
            ("huge size", '***messages**\n3478d231="99999999999999999999*100"\n', 0,
             ["2: warning: the size 99999999999999999999*100 of STARTDLG is outside 25..400 percent"]),
            ("padded size", '***messages**\n3478d231="0120*0000110"\n', 0, []),
            ("duplicate", good + '664abaa4="Irrtum"\n', 0, ["4: warning: key 664abaa4 again (first on line 2)"]),
            ("direction", '***messages**\n50a17ae8="rtl"\n', 0, ['2: warning: the direction is "rtl"']),
        ]
        for k, (name, block, exit_code, messages) in enumerate(cases):
            with self.subTest(name):
                path = self.path("block%d.txt" % k)
                write(path, block)
                output = self.path("setup%d.exe" % k)
                _, err = self.pack(output, "--messages", path, DEMO, expect=exit_code)
                for message in messages:
                    self.assertIn(path + ":" + message, err)
                self.assertEqual(os.path.exists(output), exit_code == 0)

    def test_block_goes_between_stub_and_archive(self):
        block = self.path("de.txt")
        write(block, '***messages**\r\n; German\r\n664abaa4="Fehler"\r\n3478d231="120*110"\r\n')
        output = self.path("setup.exe")
        self.pack(output, "--messages", block, DEMO)
        data = read(output)
        stub_size = os.path.getsize(STUB)
        self.assertEqual(data[:stub_size], read(STUB))
        self.assertTrue(data[stub_size:].startswith(b"***messages**\r\n; German\r\n664abaa4"))
        self.assertEqual(data[stub_size:].index(b"\0"), len(read(block)))
        _, listing, _ = run("--list", output)
        self.assertIn("messages block: %d bytes at offset %s, 2 entries" % (os.path.getsize(block), format(stub_size, ",")),
                      listing)
        self.assertIn('664abaa4  message 126 "Error" = "Fehler"', listing)
        self.assertIn('3478d231  size of STARTDLG = "120*110"', listing)


class ListTest(PackTestCase):
    def test_installer_from_the_packer(self):
        tree = mixed_tree(self.path("tree"))
        script = self.path("script.txt")
        write(script, "Title=Mixed\nPath=Mixed\n")
        output = self.path("setup.exe")
        self.pack(output, "--script", script, "--password", "secret", tree)
        code, out, _ = run("--list", output)
        self.assertEqual(code, 0)
        self.assertIn("stub: %s bytes, a Windows program for" % format(os.path.getsize(STUB), ","), out)
        self.assertIn("messages block: none", out)
        self.assertIn("its offsets count from the start of the file (no shift)", out)
        self.assertIn("script: 25 bytes\n  | Title=Mixed\n  | Path=Mixed\n", out)
        self.assertIn("members: 12 (10 files, 2 folders)", out)
        lines = out.splitlines()
        column = next(line for line in lines if line.endswith("  name")).index("name")
        rows = {line[column:]: line[:column].split() for line in lines if line.startswith("    ")}
        # AES-256 adds 16 bytes of salt, 2 of verifier and 10 of authentication code.
        self.assertEqual(rows["locked/read-only.txt"], ["900", "48", "Deflate", "2023-12-17", "10:00:00", "R---A", "AES-256"])
        self.assertEqual(rows["noise.bin"][:3], ["300,000", "300,028", "Stored"])
        self.assertEqual(rows["empty.txt"], ["0", "28", "Stored", "2023-12-17", "09:00:00", "----A", "AES-256"])
        self.assertEqual(rows["lonely/"][2], "Stored")
        self.assertEqual(rows["lonely/"][5:], ["---D-"])  # a folder holds nothing to encrypt
        self.assertIn("caf\u00e9/men\u00fc.txt", rows)

    def test_installer_made_by_hand(self):
        archive = self.path("payload.zip")
        subprocess.run(["zip", "-q", "-r", "-X", archive, "."], cwd=DEMO, check=True)
        output = self.path("setup.exe")
        with open(output, "wb") as f:
            f.write(read(STUB) + read(archive))
        stub_size = os.path.getsize(STUB)
        _, out, _ = run("--list", output)
        self.assertIn("stub: %s bytes" % format(stub_size, ","), out)
        self.assertIn("the stub shifts them by %s" % format(stub_size, ","), out)
        self.assertIn("script: none", out)
        self.assertIn("members: 9 (6 files, 3 folders)", out)
        subprocess.run(["zip", "-q", "-A", output], check=True)
        _, out, _ = run("--list", output)
        self.assertIn("(no shift)", out)

    def test_only_the_script_the_stub_finds(self):
        # A comment that begins before the stub's search window is no script
        # for the stub, and --list says so; a block past the program image
        # is data.
        for comment, shown in [(b"Title=Far\r\n" + b";" * 40000, "script: none"), (b"Title=Near", "script: 10 bytes")]:
            with self.subTest(shown):
                archive = self.path("payload.zip")
                with zipfile.ZipFile(archive, "w") as z:
                    z.writestr("a.txt", "a")
                    z.comment = comment
                output = self.path("setup.exe")
                with open(output, "wb") as f:
                    f.write(read(STUB) + b"\0" * 16 + b"***messages**\r\n" + read(archive))
                _, out, _ = run("--list", output)
                self.assertIn(shown, out)
                self.assertIn("messages block: none", out)


class OutputTest(PackTestCase):
    def test_same_inputs_same_bytes(self):
        tree = mixed_tree(self.path("tree"))
        outputs = []
        for k, (args, env) in enumerate([(["--mtime", "2024-05-01 10:00"], None),
                                         (["--mtime", "1714557600"], None),
                                         ([], {"SOURCE_DATE_EPOCH": "1714557600"})]):
            outputs.append(self.path("setup%d.exe" % k))
            self.pack(outputs[-1], *args, tree, env=env)
            os.utime(os.path.join(tree, "readme.txt"), (BASE_TIME + 4000 * k,) * 2)  # not seen: the time is fixed
        data = [read(p) for p in outputs]
        self.assertEqual(data[0], data[1])
        self.assertEqual(data[0], data[2])
        for info in zipfile.ZipFile(outputs[0]).infolist():
            self.assertEqual(info.date_time, (2024, 5, 1, 10, 0, 0))
        self.pack(self.path("zopfli.exe"), "--zopfli", "2", "--mtime", "1714557600", tree)
        self.pack(self.path("zopfli2.exe"), "--zopfli", "2", "--mtime", "1714557600", tree)
        self.assertEqual(read(self.path("zopfli.exe")), read(self.path("zopfli2.exe")))

    def test_names_in_the_target_code_page(self):
        write(self.path("in", "caf\u00e9.txt"), "x")
        self.pack(self.path("a.exe"), self.path("in"))
        names = [archive_name(i).encode("cp1252") for i in zipfile.ZipFile(self.path("a.exe")).infolist()]
        self.assertEqual(names, [b"caf\xe9.txt"])
        write(self.path("pl", "\u0141\u00f3d\u017a.txt"), "x")
        _, err = self.pack(self.path("b.exe"), self.path("pl"), expect=4)
        self.assertEqual(err, "zimbro-pack: %s: the name holds '\u0141' (U+0141), which code page 1252 cannot hold\n"
                         % self.path("pl", "\u0141\u00f3d\u017a.txt"))
        self.pack(self.path("b.exe"), "--codepage", "1250", self.path("pl"))
        raw = zipfile.ZipFile(self.path("b.exe")).infolist()[0].orig_filename.encode("cp437")
        self.assertEqual(raw, "\u0141\u00f3d\u017a.txt".encode("cp1250"))

    def test_names_windows_cannot_take(self):
        cases = [("a:b.txt", "the name holds ':'"), ("con.txt", '"con.txt" is a device name'),
                 ("dot.", "ends with a dot or a blank"), ("a" * 200 + "/" + "b" * 59, "the member name is 260 bytes")]
        for k, (name, message) in enumerate(cases):
            with self.subTest(name):
                write(self.path("case%d" % k, name), "x")
                _, err = self.pack(self.path("s.exe"), self.path("case%d" % k), expect=4)
                self.assertEqual(err, "zimbro-pack: %s: %s" % (self.path("case%d" % k, name), err.split(": ", 2)[2]))
                self.assertIn(message, err)
        # Names Windows cannot hold side by side: the later one is named, with the one it clashes with.
        same_file = "names that differ only in case or in how accents are written are one file on Windows"
        file_and_folder = "a file and a folder of the same name cannot stand side by side on Windows"
        for k, (first, second, why) in enumerate([
                ("one/Read.me", "two/READ.ME", same_file),
                ("one/\u00c4rger.txt", "two/\u00e4rger.txt", same_file),        # beyond ASCII
                ("one/\u00e4rger.txt", "two/a\u0308rger.txt", same_file),       # composed and decomposed
                ("one/A/b.txt", "two/a", file_and_folder),
                ("one/a", "two/A/b.txt", file_and_folder),
                ("one/x/", "two/X", file_and_folder)]):
            with self.subTest(second):
                for name in (first, second):
                    path = self.path("clash%d" % k, name)
                    os.makedirs(path) if name.endswith("/") else write(path, "x")
                inputs = [self.path("clash%d" % k, top) for top in ("one", "two")]
                _, err = self.pack(self.path("s.exe"), *inputs, expect=4)
                later = self.path("clash%d" % k, second.rstrip("/"))
                self.assertEqual(err, "zimbro-pack: %s: clashes with %s: %s\n"
                                 % (later, self.path("clash%d" % k, first.rstrip("/")), why))

    def test_own_files_inside_the_folder_are_left_out(self):
        tree = self.path("app")
        write(os.path.join(tree, "app.exe"), "MZ")
        write(os.path.join(tree, "install.txt"), "Title=App\n")
        output = os.path.join(tree, "setup.exe")
        self.pack(self.path("earlier.exe"), DEMO)
        shutil.copy(self.path("earlier.exe"), output)  # an earlier installer in the folder is replaced
        self.pack(output, "--script", os.path.join(tree, "install.txt"), tree)
        self.assertEqual([i.filename for i in zipfile.ZipFile(output).infolist()], ["app.exe"])
        self.assertEqual(zipfile.ZipFile(output).comment, b"Title=App\r\n")

    def test_output_never_overwrites_an_input(self):
        tree = self.path("app")
        write(os.path.join(tree, "readme.txt"), "the publisher's file")
        write(self.path("install.txt"), "Title=App\n")
        write(self.path("block.txt"), "***messages**\n")
        write(self.path("single.txt"), "packed on its own")
        stub = self.path("stub.exe")
        shutil.copy(STUB, stub)
        os.symlink(os.path.join(tree, "readme.txt"), self.path("link.exe"))
        base = ["--stub", stub, "--script", self.path("install.txt"), "--messages", self.path("block.txt")]
        for output, inputs, says in [
                (self.path("install.txt"), [tree], "-o names the script"),
                (self.path("block.txt"), [tree], "-o names the messages block"),
                (stub, [tree], "-o names the stub"),
                (self.path("single.txt"), [tree, self.path("single.txt")], "which is to be packed"),
                (os.path.join(tree, "readme.txt"), [tree], "a file that is to be packed"),
                (self.path("link.exe"), [tree], "a file that is to be packed")]:
            with self.subTest(says, output=output):
                before = {p: read(p) for p in [output, stub, os.path.join(tree, "readme.txt")]}
                code, out, err = run("-o", output, *base, *inputs)
                self.assertEqual((code, out), (4, ""), err)
                self.assertIn(says, err)
                self.assertEqual({p: read(p) for p in before}, before)
        self.assertEqual(sorted(os.listdir(self.work)),
                         ["app", "block.txt", "install.txt", "link.exe", "single.txt", "stub.exe"])

    def test_traditional_password(self):
        tree = mixed_tree(self.path("tree"))
        output = self.path("setup.exe")
        traditional = ["--encryption", "traditional"]
        _, err = self.pack(output, *traditional, "--password", "secret", tree)
        self.assertEqual(err, "zimbro-pack: warning: the traditional ZIP encryption is weak: "
                              "it only keeps casual eyes out\n")
        infos = check_readers(self, output, "secret")
        self.assertTrue(all(i.flag_bits & 1 and i.compress_type in (0, 8) for i in infos if not i.is_dir()))
        self.assertNotEqual(subprocess.run(["7zz", "t", "-pwrong", output], capture_output=True).returncode, 0)
        # The stub's limit, 127 characters, is the packer's: the longest one
        # packs, one more is refused.
        self.pack(output, *traditional, "--password", "p" * 127, tree)
        with zipfile.ZipFile(output) as z:
            z.setpassword(b"p" * 127)
            self.assertIsNone(z.testzip())
        _, err = self.pack(self.path("x.exe"), *traditional, "--password", "p" * 128, tree, expect=5)
        self.assertIn("more than 127 characters", err)
        # The prompt's bytes in this cipher follow the target machine's code
        # page, which the publisher's cannot foresee: ASCII only.
        _, err = self.pack(self.path("x.exe"), *traditional, "--password", "s\u00e9same", tree, expect=5)
        self.assertIn("'\u00e9' (U+00E9) is not ASCII: the traditional encryption takes ASCII passwords only", err)
        self.assertEqual(sorted(os.listdir(self.work)), ["setup.exe", "tree"])


class InputTest(PackTestCase):
    def test_times_links_and_empty_inputs(self):
        tree = self.path("tree")
        write(os.path.join(tree, "old.txt"), "x", mtime=0)
        write(os.path.join(tree, "future.txt"), "x", mtime=7258118400)  # 2200
        os.symlink("old.txt", os.path.join(tree, "link.txt"))
        self.pack(self.path("s.exe"), tree)
        infos = {i.filename: i for i in zipfile.ZipFile(self.path("s.exe")).infolist()}
        self.assertEqual(infos["old.txt"].date_time, (1980, 1, 1, 0, 0, 0))
        self.assertEqual(infos["future.txt"].date_time, (2107, 12, 31, 23, 59, 58))
        self.assertEqual(zipfile.ZipFile(self.path("s.exe")).read("link.txt"), b"x")
        # Links inside the tree are followed; one that leaves it, loops or leads nowhere is refused by name.
        write(self.path("outside.txt"), "not chosen")
        for name, target, says in [
                ("loop", "..", "a link to .., outside the folder being packed"),
                ("sub/back", "..", "a link back to a folder that contains it"),
                ("out.txt", self.path("outside.txt"), "a link to %s, outside the folder" % self.path("outside.txt")),
                ("dead.txt", "missing.txt", "a link to missing.txt, which does not exist"),
                ("self", "self", "a link that leads to itself (self)")]:
            with self.subTest(name):
                link = os.path.join(tree, name)
                os.makedirs(os.path.dirname(link), exist_ok=True)
                os.symlink(target, link)
                _, err = self.pack(self.path("s.exe"), tree, expect=4)
                self.assertTrue(err.startswith("zimbro-pack: %s: %s" % (link, says))
                                or err.startswith("zimbro-pack: %s/" % link) and says in err, err)
                os.remove(link)
        os.symlink("missing", self.path("dangling"))
        _, err = self.pack(self.path("s.exe"), self.path("dangling"), expect=4)
        self.assertIn("dangling: a link to missing, which does not exist", err)
        os.makedirs(self.path("empty"))
        _, err = self.pack(self.path("s.exe"), self.path("empty"), expect=4)
        self.assertIn("empty: the folder holds nothing to pack", err)

    def test_mtime_forms(self):
        clamped = "zimbro-pack: warning: --mtime: %s is %s, outside the times a ZIP member can hold: %s is used\n"
        for value, expected, warning in [
                ("2024-05-01", (2024, 5, 1, 0, 0, 0), ""), ("2024-05-01T10:20:31", (2024, 5, 1, 10, 20, 30), ""),
                ("2024-02-29", (2024, 2, 29, 0, 0, 0), ""),
                ("0", (1980, 1, 1, 0, 0, 0), clamped % ("0", "before 1980", "1980-01-01 00:00:00")),
                ("1970-06-01", (1980, 1, 1, 0, 0, 0), clamped % ("1970-06-01", "before 1980", "1980-01-01 00:00:00")),
                ("2200-01-01", (2107, 12, 31, 23, 59, 58), clamped % ("2200-01-01", "after 2107", "2107-12-31 23:59:58")),
                ("2024-13-01", None, ""), ("2024-05-01 10", None, ""), ("2024-02-31", None, ""),
                ("2023-02-29", None, ""), ("2024-04-31", None, "")]:
            with self.subTest(value):
                code, _, err = run("-o", self.path("s.exe"), "--stub", STUB, "--mtime", value, DEMO)
                if expected is None:
                    self.assertEqual((code, err.split(": ")[1]), (5, "--mtime"))
                    self.assertIn("not a time", err)
                else:
                    self.assertEqual((code, err), (0, warning))
                    self.assertEqual(zipfile.ZipFile(self.path("s.exe")).infolist()[0].date_time, expected)

    def test_a_localised_installer(self):
        template = run("--messages-template", "--stub", STUB)[1]
        block = template.replace('664abaa4="Error"', '664abaa4="\u041e\u0448\u0438\u0431\u043a\u0430"')
        write(self.path("ru.txt"), block)
        write(self.path("script.txt"), "Title=\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\n")
        output = self.path("setup.exe")
        self.pack(output, "--codepage", "1251", "--messages", self.path("ru.txt"), "--script",
                  self.path("script.txt"), DEMO)
        data = read(output)
        self.assertIn('664abaa4="\u041e\u0448\u0438\u0431\u043a\u0430"'.encode("cp1251"), data)
        self.assertEqual(zipfile.ZipFile(output).comment, "Title=\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\r\n".encode("cp1251"))
        _, listing, _ = run("--list", output, "--codepage", "1251")
        self.assertIn('664abaa4  message 126 "Error" = "\u041e\u0448\u0438\u0431\u043a\u0430"', listing)
        self.assertIn("  | Title=\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\n", listing)
        _, err = self.pack(output, "--messages", self.path("ru.txt"), DEMO, expect=2)
        self.assertIn("(U+041E) cannot be written in code page 1252", err)


def damage(path, offset_from, delta):
    """Adds delta to one byte of the file, counted from a member's data or the file's end."""
    data = bytearray(read(path))
    data[offset_from(data)] = (data[offset_from(data)] + delta) & 0xFF
    with open(path, "wb") as f:
        f.write(data)


def data_offset(installer, member):
    with zipfile.ZipFile(installer) as z:
        info = z.getinfo(member)
    with open(installer, "rb") as f:
        f.seek(info.header_offset + 26)
        name_length, extra_length = int.from_bytes(f.read(2), "little"), int.from_bytes(f.read(2), "little")
    return info.header_offset + 30 + name_length + extra_length


class VerifyTest(PackTestCase):
    """--test reads every member back; the same check ends every pack."""

    def installer_by_hand(self, name, password=None, script=b"Title=By hand\r\n"):
        """An installer made without the packer: Python's zipfile archive joined to the stub."""
        archive = self.path(name + ".zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("docs/readme.txt", "read me\n" * 400)
            z.writestr("data.bin", bytes(range(256)) * 64)
            z.writestr("empty/", b"")
            z.comment = script
        installer = self.path(name + ".exe")
        with open(installer, "wb") as out:
            out.write(read(STUB) + read(archive))
        if password:  # encrypted by zip, an independent writer
            os.remove(installer)
            src = self.path(name + "-src")
            os.makedirs(src)
            write(os.path.join(src, "secret.txt"), "hidden\n" * 100)
            subprocess.run(["zip", "-q", "-r", "-P", password, os.path.abspath(archive), "."], cwd=src, check=True)
            with open(installer, "wb") as out:
                out.write(read(STUB) + read(archive))
        return installer

    def test_intact_and_damaged_installers(self):
        good = self.installer_by_hand("good")
        packed = self.path("packed.exe")
        out, _ = self.pack(packed, mixed_tree(self.path("tree")))
        self.assertIn("every member read back intact", out)
        cases = [
            ("good", good, None, 0, "3 members tested: 3 intact, 0 damaged, 0 not tested"),
            ("packed", packed, None, 0, "intact, 0 damaged, 0 not tested; script: 0 errors"),
            ("data", good, lambda p: damage(p, lambda d: data_offset(p, "data.bin") + 5, 1), 4,
             'member "data.bin": '),
            ("stored size", good, lambda p: damage(p, lambda d: d.rfind(b"PK\x01\x02") + 24, 1), 4,
             'member "empty/": '),
            ("cut", good, lambda p: os.truncate(p, os.path.getsize(STUB) + 200), 4, "no ZIP archive at its end"),
            ("script", self.installer_by_hand("bad-script", script=b"Path =C:\\x\r\n"), None, 2, "script: 1 error"),
            ("encrypted", self.installer_by_hand("locked", password="pw"), None, 4,
             'member "secret.txt": encrypted: give --password to test it'),
        ]
        spoiled_copies_test(self, cases)
        code, out, err = run("--test", self.path("locked.exe"), "--password", "pw")
        self.assertEqual(code, 0, out + err)
        code, out, err = run("--test", self.path("locked.exe"), "--password", "wrong")
        self.assertEqual(code, 4, out + err)
        # The encryption header checks a wrong password with one byte, and
        # the header is random: one pack in 256 lets it pass, and then the
        # data it deciphers is what gives the member away.
        self.assertIn('member "secret.txt"', out)


# Compressors that write one wrong byte, put in front of libdeflate and
# liblzma: what any fault between reading a file and writing its bytes
# looks like. (The read-back decodes with lzma_code, which stays as it is.)
FAULTY_COMPRESSOR = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stddef.h>
size_t libdeflate_deflate_compress(void* c, const void* in, size_t n, void* out, size_t avail) {
  size_t (*real)(void*, const void*, size_t, void*, size_t) =
      (size_t (*)(void*, const void*, size_t, void*, size_t))dlsym(RTLD_NEXT, "libdeflate_deflate_compress");
  size_t made = real(c, in, n, out, avail);
  if (made > 8) ((unsigned char*)out)[made / 2] ^= 0x10;
  return made;
}
int lzma_raw_buffer_encode(const void* f, const void* a, const void* in, size_t n, unsigned char* out, size_t* at,
                           size_t size) {
  int (*real)(const void*, const void*, const void*, size_t, unsigned char*, size_t*, size_t) =
      (int (*)(const void*, const void*, const void*, size_t, unsigned char*, size_t*, size_t))dlsym(
          RTLD_NEXT, "lzma_raw_buffer_encode");
  size_t before = *at;
  int result = real(f, a, in, n, out, at, size);
  if (result == 0 && *at - before > 8) out[before + (*at - before) / 2] ^= 0x10;
  return result;
}
"""


def faulty_compressor(case):
    """The faulty compressors built into a library for LD_PRELOAD."""
    source, library = case.path("faulty.c"), case.path("faulty.so")
    write(source, FAULTY_COMPRESSOR)
    subprocess.run(["cc", "-shared", "-fPIC", "-o", library, source, "-ldl"], check=True)
    return library


class PackCheckTest(PackTestCase):
    @unittest.skipIf("TSAN_OPTIONS" in os.environ, "a library put in front of the sanitizer's runtime upsets it")
    def test_a_pack_whose_bytes_are_wrong_writes_nothing(self):
        library = faulty_compressor(self)
        tree = mixed_tree(self.path("tree"))
        # The first member, which LZMA shrinks more than Deflate: each method's fault shows on it.
        write(os.path.join(tree, "bin", "program.exe"), read(STUB))
        for method in ("deflate", "lzma"):
            with self.subTest(method):
                write(self.path("setup.exe"), "an earlier installer")
                code, out, err = run("-o", self.path("setup.exe"), "--stub", STUB, "--method", method, tree,
                                     env={"LD_PRELOAD": library})
                self.assertEqual((code, out), (3, ""), err)
                self.assertRegex(err, r'^zimbro-pack: internal error: .*setup\.exe: the installer just written is not '
                                      r'intact: member "bin/program\.exe" .*; nothing written\n$')
                self.assertEqual(read(self.path("setup.exe")), b"an earlier installer")
                self.assertEqual(sorted(os.listdir(self.work)), ["faulty.c", "faulty.so", "setup.exe", "tree"])


def seven_zip_lzma(folder, name, source, end_marker):
    """An installer by hand whose archive 7-Zip wrote with LZMA members."""
    archive = os.path.join(folder, name + ".zip")
    subprocess.run(["7zz", "a", "-tzip", "-mm=LZMA" + ("" if end_marker else ":eos=off"), archive, "."],
                   cwd=source, check=True, capture_output=True)
    installer = os.path.join(folder, name + ".exe")
    write(installer, read(STUB) + read(archive))
    return installer


def python_lzma(folder, name, source):
    """The same from Python's zipfile (ZIP_LZMA, with the end marker)."""
    archive = os.path.join(folder, name + ".zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_LZMA) as z:
        for entry in sorted(os.listdir(source)):
            z.write(os.path.join(source, entry), entry)
    installer = os.path.join(folder, name + ".exe")
    write(installer, read(STUB) + read(archive))
    return installer


def lzma_member_data(installer, member):
    """(offset, length) of a member's raw LZMA stream, after method 14's 9-byte frame."""
    with zipfile.ZipFile(installer) as z:
        info = z.getinfo(member)
    return data_offset(installer, member) + 9, info.compress_size - 9


def patch(path, offset, data):
    with open(path, "r+b") as f:
        f.seek(offset)
        f.write(data)


class LzmaTest(PackTestCase):
    """--method lzma: members in ZIP method 14 that 7-Zip and Python read, the
    smallest method kept per member, and the read-back that checks them."""

    def lzma_tree(self):
        tree = mixed_tree(self.path("tree"))
        write(os.path.join(tree, "bin", "program.exe"), read(STUB), BASE_TIME)
        return tree

    def test_installer_reads_in_other_tools(self):
        tree = self.lzma_tree()
        deflated, packed = self.path("deflate.exe"), self.path("lzma.exe")
        self.pack(deflated, tree)
        out, _ = self.pack(packed, "--method", "lzma", "-v", tree)
        self.assertIn("every member read back intact", out)
        self.assertLess(os.path.getsize(packed), os.path.getsize(deflated))
        done = subprocess.run(["7zz", "t", packed], capture_output=True)
        self.assertEqual(done.returncode, 0, done.stdout.decode() + done.stderr.decode())
        expected = {name: data for name, (kind, data, _, _) in tree_entries(tree).items() if kind == "file"}
        with zipfile.ZipFile(packed) as z:
            self.assertIsNone(z.testzip())
            infos = {archive_name(i): i for i in z.infolist()}
            for name, data in expected.items():
                self.assertEqual(z.read(infos[name]), data, name)
        # (method, general-purpose flags, version needed) per kind of member
        for name, want in [("bin/program.exe", (14, 2, 63)), ("empty.txt", (0, 0, 10)), ("noise.bin", (0, 0, 10)),
                           ("locked/read-only.txt", (8, 0, 20))]:
            info = infos[name]
            self.assertEqual((info.compress_type, info.flag_bits & 0x0F, info.extract_version), want, name)
        unpacked = self.path("7zz-out")
        subprocess.run(["7zz", "x", "-o" + unpacked, packed], check=True, capture_output=True)
        for name, data in expected.items():
            if name.isascii():  # 7-Zip takes a Unix host's names as UTF-8, not the code page
                self.assertEqual(read(os.path.join(unpacked, name)), data, name)
        self.assertRegex(out, r"(?m)^ +[\d,]+ -> +[\d,]+  LZMA     bin/program\.exe\n")
        code, listing, _ = run("--list", packed)
        self.assertEqual(code, 0)
        self.assertRegex(listing, r"(?m)^ +[\d,]+ +[\d,]+  LZMA +2023-12-17 .* bin/program\.exe\n")
        self.assertEqual(run("--method", "lzma", "-o", self.path("x.exe"), "--stub", STUB, "-0", tree)[0], 5)
        code, _, err = run("--method", "zstd", "-o", self.path("x.exe"), "--stub", STUB, tree)
        self.assertEqual(code, 5)
        self.assertIn("--method takes deflate or lzma", err)

    def test_read_back_of_lzma_members(self):
        source = self.path("src")
        write(os.path.join(source, "program.exe"), read(STUB))
        write(os.path.join(source, "notes.txt"), "notes and more notes\n" * 300)
        packed = self.path("packed.exe")
        self.pack(packed, "--method", "lzma", source)
        by_7zip = seven_zip_lzma(self.work, "7zip", source, end_marker=True)
        by_7zip_plain = seven_zip_lzma(self.work, "7zip-plain", source, end_marker=False)
        by_python = python_lzma(self.work, "python", source)

        def stream_byte(at):  # one byte of program.exe's stream, at a share of its length
            return lambda p: damage(p, lambda d: (lambda o, n: o + int(n * at))(*lzma_member_data(p, "program.exe")), 1)

        def cut_stream(p):  # the stream's last 40 bytes lost, the sizes made to agree
            offset, length = lzma_member_data(p, "program.exe")
            patch(p, offset + length - 40, b"\0" * 40)

        def frame(byte, value):
            return lambda p: patch(p, lzma_member_data(p, "program.exe")[0] - 9 + byte, bytes([value]))

        def marker_flag(p):  # the central header's bit 1 taken away: the marker where none may be
            d = read(p)
            central = d.find(b"PK\x01\x02", d.rfind(b"program.exe", 0, d.rfind(b"PK\x05\x06")) - 46 - 20)
            patch(p, central + 8, bytes([d[central + 8] & ~2]))

        cases = [  # installer, spoil, exit code, what --test says
            ("packed", packed, None, 0, "2 intact, 0 damaged"),
            ("7-Zip with marker", by_7zip, None, 0, "2 intact, 0 damaged"),
            ("7-Zip without marker", by_7zip_plain, None, 0, "2 intact, 0 damaged"),
            ("Python", by_python, None, 0, "2 intact, 0 damaged"),
            ("stream start", packed, stream_byte(0.001), 4, 'member "program.exe": '),
            ("stream middle", packed, stream_byte(0.5), 4, 'member "program.exe": '),
            ("no marker, middle", by_7zip_plain, stream_byte(0.5), 4, 'member "program.exe": '),
            ("stream end", packed, cut_stream, 4, 'member "program.exe": '),  # data or size, as the bytes fall
            ("properties size", packed, frame(2, 6), 4, "its LZMA header is damaged"),
            ("lc out of range", packed, frame(4, 250), 4, "its LZMA properties are out of range"),
            ("marker flag", packed, marker_flag, 4, "disagree on the LZMA end marker"),
        ]
        spoiled_copies_test(self, cases)


class StressTest(PackTestCase):
    """Many packs of small-file trees, each read back by Python's zipfile
    against its sources: a fault that shows once in a hundred packs (a race
    between the compressing workers) must show here."""

    def test_many_packs_are_all_intact(self):
        rng = random.Random(18)
        bad = []
        for k in range(200):
            tree = self.path("tree%d" % (k % 4))
            if k < 4:
                for i in range(30):
                    write(os.path.join(tree, "d%d" % (i % 3), "f%02d.txt" % i),
                          " ".join(rng.choice(["alpha", "beta", "gamma", "delta"]) for _ in range(rng.randrange(5, 400))))
            installer = self.path("s.exe")
            code, _, err = run("-o", installer, "--stub", STUB, "-%d" % (1 + k % 12), tree)
            self.assertEqual(code, 0, err)
            with zipfile.ZipFile(installer) as z:
                for info in z.infolist():
                    try:
                        intact = z.read(info) == read(os.path.join(tree, info.filename))
                    except zipfile.BadZipFile as e:  # a wrong CRC
                        intact = str(e)
                    if intact is not True:
                        bad.append((k, info.filename, intact))
        self.assertEqual(bad, [])


class SignalTest(PackTestCase):
    def test_an_ignored_hangup_stays_ignored(self):
        # A packer started under nohup must live through a hangup in the middle of its work.
        tree = self.path("tree")
        rng = random.Random(7)
        write(os.path.join(tree, "big.txt"), " ".join(rng.choice(["ab", "cd", "ef", "gh"]) for _ in range(100000)))
        output = self.path("s.exe")
        packer = subprocess.Popen([PACK, "-o", output, "--stub", STUB, "--zopfli", "1", tree],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
        # Once the partial output exists the packer watches its signals; then hang up.
        for _ in range(500):
            if any(n.startswith(".s.exe.partial-") for n in os.listdir(self.work)) or packer.poll() is not None:
                break
            time.sleep(0.01)
        packer.send_signal(signal.SIGHUP)
        out, err = packer.communicate(timeout=100)
        self.assertEqual(packer.returncode, 0, err)
        self.assertIsNone(zipfile.ZipFile(output).testzip())


class InstallTest(PackTestCase):
    def test_installed_packer_finds_its_stub(self):
        prefix = self.path("prefix")
        done = subprocess.run(["cmake", "--install", os.path.dirname(PACK), "--prefix", prefix], capture_output=True)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        packer = os.path.join(prefix, "bin", "zimbro-pack")
        stub = os.path.join(prefix, "share", "zimbro-sfx", "zimbro-sfx.exe")
        self.assertEqual(read(stub), read(os.path.join(os.path.dirname(PACK), "zimbro-sfx.exe")))
        done = subprocess.run([packer, "-o", self.path("setup.exe"), DEMO], capture_output=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(read(self.path("setup.exe"))[:os.path.getsize(stub)], read(stub))
        os.remove(stub)
        done = subprocess.run([packer, "-o", self.path("other.exe"), DEMO], capture_output=True, text=True)
        self.assertEqual(done.returncode, 4)
        self.assertIn("no stub beside zimbro-pack", done.stderr)


class FailureTest(PackTestCase):
    def test_one_clear_line_and_no_output(self):
        keeper = os.path.join(os.path.dirname(STUB), "desktop_keeper.exe")
        write(self.path("text.exe"), "not a program")
        installer = self.path("installer.exe")
        self.pack(installer, DEMO)
        missing = self.path("missing")
        cases = [
            (["-o", self.path("s.exe"), "--stub", STUB, missing], "%s: no such file or folder" % missing),
            (["-o", "/proc/s.exe", "--stub", STUB, DEMO], "/proc/s.exe: cannot write in its folder"),
            (["-o", self.path("no", "s.exe"), "--stub", STUB, DEMO], self.path("no", "s.exe") + ": cannot write"),
            (["-o", self.work, "--stub", STUB, DEMO], self.work + ": names a folder"),
            (["-o", self.path("s.exe"), "--stub", self.path("text.exe"), DEMO],
             self.path("text.exe") + ": not a Windows program"),
            (["-o", self.path("s.exe"), "--stub", keeper, DEMO], keeper + ": not a Zimbro SFX stub"),
            (["-o", self.path("s.exe"), "--stub", installer, DEMO], installer + ": carries "),
            (["-o", self.path("s.exe"), "--stub", installer, DEMO], "an installer, not a stub; give the bare zimbro-sfx.exe"),
            (["-o", self.path("s.exe"), "--stub", signed_stub(self.work), DEMO], "a signed stub: its signature would"),
            (["-o", self.path("s.exe"), "--stub", STUB, "--script", missing, DEMO], missing + ": no such file"),
            (["-o", self.path("s.exe"), "--stub", STUB, "--mtime", "yesterday", DEMO], "--mtime: not a time"),
            (["-o", self.path("s.exe"), "--stub", STUB, "--codepage", "99999", DEMO], "takes a number from 1"),
            (["-o", self.path("s.exe"), "--stub", STUB, "--codepage", "77", DEMO], "--codepage 77 is not a Windows ANSI"),
            (["-o", self.path("s.exe"), "--stub", STUB, "--codepage", "500", DEMO], "--codepage 500 is not a Windows"),
            (["-o", self.path("s.exe"), "--stub", STUB, "--codepage", "437", DEMO], "--codepage 437 is not a Windows"),
            (["-o", self.path("s.exe"), "-3", "--zopfli", "5", DEMO], "not both (see zimbro-pack --help)"),
            (["--frobnicate"], "unknown option --frobnicate"),
            (["-o", self.path("s.exe"), "--stub", STUB, "/dev/null"], "/dev/null: not a file or folder"),
        ]
        before = sorted(os.listdir(self.work))
        self.assertIn("signed.exe", before)
        for args, message in cases:
            with self.subTest(message):
                code, out, err = run(*args)
                self.assertEqual(code, 5 if message.endswith("(see zimbro-pack --help)") or "see zimbro-pack --help" in err else 4, err)
                self.assertEqual(out, "")
                self.assertEqual(err.count("\n"), 1, err)
                self.assertTrue(err.startswith("zimbro-pack: ") and message in err, err)
                self.assertEqual(sorted(os.listdir(self.work)), before)

    def test_a_failed_write_leaves_nothing(self):
        # A full disk as the packer sees it: a write fails part way through.
        def small_files():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (os.path.getsize(STUB) + 100000,) * 2)
        tree = mixed_tree(self.path("tree"))
        code, _, err = run("-o", self.path("s.exe"), "--stub", STUB, tree, preexec=small_files)
        self.assertEqual((code, err), (4, "zimbro-pack: %s: cannot write: File too large\n" % self.path("s.exe")))
        self.assertEqual(os.listdir(self.work), ["tree"])

    def test_a_failure_keeps_the_earlier_installer(self):
        output = self.path("setup.exe")
        write(output, "earlier")
        self.pack(output, self.path("missing"), expect=4)
        self.assertEqual(read(output).decode(), "earlier")
        self.assertEqual(os.listdir(self.work), ["setup.exe"])

    def test_help_is_a_manual_page(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        for section in ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "EXAMPLES"]:
            self.assertIn("\n" + section + "\n", out)


if __name__ == "__main__":
    unittest.main()
