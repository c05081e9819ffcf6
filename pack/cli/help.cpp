// The manual page of zimbro-pack, printed by --help.
#include "pack/cli/options.h"

const char kPackerVersion[] = "1.1.0";

const char kHelpText[] = R"(ZIMBRO-PACK(1)                   Zimbro SFX                   ZIMBRO-PACK(1)

NAME
       zimbro-pack - make a self-extracting Windows installer from a folder

SYNOPSIS
       zimbro-pack -o SETUP.EXE [--script FILE] [--stub FILE] [--messages FILE]
                   [--password-file F | --password-env V | --password P]
                   [--encryption aes256|aes128|traditional]
                   [--method deflate|lzma] [-0 ... -12 | --zopfli N]
                   [--solid [--solid-block-size N] [--dictionary N]]
                   [--mtime T] [--codepage N]
                   [--exclude PATTERN]... [--icon FILE.ico]
                   [--version-info KEY=VALUE]... [--execution-level LEVEL]
                   [--sign-pkcs12 FILE | --sign-cert FILE --sign-key FILE]
                   [--sign-password-file F | --sign-password-env V]
                   [--timestamp-url URL] [--strict] [-q | -v] PATH...
       zimbro-pack --check SCRIPT [--codepage N]
       zimbro-pack --list SETUP.EXE [--codepage N]
       zimbro-pack --test SETUP.EXE [--password-file F | --password-env V |
                   --password P] [--codepage N]
       zimbro-pack --messages-template [--stub FILE] [--pseudo] [--codepage N]
                   [-o FILE]
       zimbro-pack --help | --version

DESCRIPTION
       Writes SETUP.EXE: the Zimbro SFX stub, a messages block when one is
       given, then a ZIP archive of the PATHs whose comment is the script.
       Run on Windows, the installer shows its start dialog and extracts
       every file with its time and attributes.

       A file PATH becomes one member under its own name. A folder PATH gives
       its contents, recursively, under names relative to it ("/" between
       folders); an empty folder gets an entry of its own. The files named by
       --script, --messages and --stub, and an earlier installer at the
       place of -o, are left out when a folder holds them; -o may not name
       any other input (the script, the messages block, the stub, or a file
       to be packed): that is refused before anything is written. Links
       inside a folder are followed when they lead to a file or folder
       inside the same PATH; a link that leads out of it, back into a
       folder that contains it, or nowhere is an error that names it. Times are the local times of this machine, unless --mtime or
       SOURCE_DATE_EPOCH fixes one time for every member; a file that nobody
       may write becomes read-only. Names are written in the code page of
       --codepage; a name that it cannot hold, or that Windows does not
       allow, is an error, and so are two names that Windows would take as
       one (equal but for case or for how accents are written, after NFC
       normalisation) or a file beside a folder of the same name. The same inputs give a byte-identical installer
       (except with a password: every encrypted member has a random salt
       or header).

       The script is read first by the stub's own rules (see --check); an
       installer whose script has errors is not written. Nothing is left
       behind on failure: the installer is written under a temporary name,
       read back - every member decoded and compared with the file it was
       made from, sizes and CRCs checked - and renamed only when all of it
       is intact.

       The archive is a classic ZIP archive unless a value needs Zip64: a
       member of 4 GiB or more (its local and central headers then carry a
       Zip64 field), a member beyond the first 4 GiB of the installer (its
       central header does), 65,535 members or more, or a directory beyond
       4 GiB (a Zip64 end record and its locator precede the end record).
       There is no limit of the packer's own on the installer's size, a
       member's size or the number of members; members larger than 64 MiB
       are compressed in pieces of 8 MiB side by side and never held whole
       in memory. An installer of 4 GiB or more cannot be signed.

OPTIONS
       -o, --output FILE
              The installer to write (with --messages-template: the template).

       --script FILE
              The script (UTF-8 text): it becomes the archive comment, with
              CR LF line ends, in the target code page.

       --stub FILE
              The stub to use. By default zimbro-sfx.exe beside this program,
              or ../share/zimbro-sfx/zimbro-sfx.exe from its folder.

       --messages FILE
              A messages block (UTF-8) to put between the stub and the
              archive. It is checked first: it must begin with the marker
              line, every key must belong to a text of the stub, and every
              message must keep the printf conversions (%s, ...) of its
              English text.

       --password-file FILE, --password-env VARIABLE, --password P
              Encrypts every file; the installer asks for the password
              before it extracts the first one. The password comes from the
              first line of FILE or from the environment VARIABLE, which
              is what to use: other users of the machine and a build log
              see the command line of --password P. At most 127
              characters, as the installer's prompt counts them. Read as
              UTF-8 (text that is not UTF-8 is refused): AES keys are made
              from its UTF-8 bytes, as other AES tools make them, so
              accented letters typed into the prompt or into those tools
              open the files alike.

       --encryption aes256|aes128|traditional
              How files are encrypted when a password is given (AES-256 by
              default). aes256 and aes128 use AES (ZIP method 99, in the
              AE-2 format): every file has its own random salt and keys made
              from the password by PBKDF2, and an authentication code that
              the installer checks over all of the encrypted data before
              the file takes its name, so that a file changed on the way is
              refused rather than installed. No CRC of the plain data is
              stored. 7-Zip and other current unzips read it; Debian's
              unzip and Python's zipfile do not. aes256 is the one to use.
              traditional is the old ZIP encryption that every unzip reads:
              it is weak (public tools recover the files from one known
              file of the payload, and changed data goes unnoticed until
              its CRC), it only keeps casual eyes out, and its password
              must be ASCII. Cannot go with --solid, nor without a
              password.

       --exclude PATTERN
              Leaves out what a folder walk meets and PATTERN matches (shell
              wildcards; repeatable). A PATTERN with a "/" is matched against
              the name relative to the PATH folder ("build/*.o"), one without
              against each file's and folder's own name ("*.tmp", ".git").

       --icon FILE.ico
              The installer's icon: every image of FILE.ico replaces the
              stub's icon group. The stub file itself is never changed; the
              packer edits its copy.

       --version-info KEY=VALUE
              Version information shown by Explorer and read by inventory
              tools (repeatable). KEY is ProductName, ProductVersion,
              FileVersion, CompanyName, FileDescription or LegalCopyright;
              the numeric versions come from FileVersion and ProductVersion
              ("1.2.3.4", missing parts 0; one serves for both when only one
              is given).

       --execution-level LEVEL
              asInvoker, highestAvailable or requireAdministrator, written
              into the manifest. The stub declares requireAdministrator: an
              installer writes where standard users may not.

       --sign-pkcs12 FILE, or --sign-cert FILE --sign-key FILE
              Signs the finished installer with osslsigncode (Authenticode),
              then verifies the signature against the system's authorities
              and the given chain. The password of the PKCS#12 file or the
              key comes from --sign-password-file FILE or
              --sign-password-env VARIABLE, never from the command line.
              --timestamp-url URL is passed to osslsigncode as it is.

       --strict
              Warnings fail: a pack writes nothing, --check and --test exit
              with 2.

       -q, --quiet / -v, --verbose
              -q prints errors only; -v also lists every member as packed.
              Without either, a pack prints one summary line.

       --method deflate|lzma
              deflate (the default) writes the classic archive that every
              unzip reads: each member Deflate or Stored. lzma also
              compresses each member with LZMA (ZIP method 14, by
              liblzma, with its end marker) and keeps the smallest of
              Stored, Deflate and LZMA; 7-Zip and Python's zipfile read
              such an archive, older unzips only its Deflate and Stored
              members. LZMA pays on program files (a quarter smaller than
              Deflate), hardly on text; it packs several times slower,
              and the installer needs a dictionary of up to 16 MiB while
              it extracts a member (no more than the member's size).
              -N and --zopfli still make the Deflate candidate; -0 cannot
              go with lzma.

       --solid
              Compresses runs of consecutive files together, each run (a
              solid block) as one LZMA stream, by liblzma's strongest
              settings: what one file shares with the next is coded once,
              and installers come out about half the size of Deflate's.
              The archive stays a ZIP that unzip, 7-Zip and Python's
              zipfile list with every name, size, CRC and time; the files
              in blocks have method 90 and a solid-block field, which
              those tools report as unsupported rather than extract.
              Empty files and folders stay Stored outside the blocks (they
              come first in the archive), and a file larger than a block
              goes alone, as --method lzma packs it. While it extracts a
              block the installer holds the block's dictionary (see
              --dictionary) and 16 KiB of the decoder's own besides its
              usual buffers. Packing is slow, 0.5 to 1 MiB/s per block
              (blocks side by side on several cores); the installer
              decodes a block at tens of MiB/s. Cannot go with a
              password: the members of a block share one stream.

       --solid-block-size N
              With --solid: at most N MiB of files per block (1 to 4096,
              default 256). Smaller blocks compress a little worse and
              pack faster on several cores; the installer reads a block
              from its start, so a large block costs it nothing more.

       --dictionary N
              With --solid: the LZMA dictionary in MiB (1 to 256, default
              64), how far back a block's stream may refer. A block gets
              no larger a dictionary than its own size. The packer needs
              about eleven times the dictionary per block it compresses.

       -0 ... -12
              Compression level (libdeflate's): 0 stores every member, 1 is
              the fastest, 10 (the default) is smaller than zip -9, 12 is the
              smallest libdeflate makes. A member that does not shrink is
              Stored.

       --zopfli N
              Compresses every member with zopfli in N iterations (5 to 15
              are usual), keeping level 12's result where that is smaller:
              the smallest archive, and much slower than -12.

       --mtime T
              One time for every member: seconds since 1970 (taken in UTC),
              or a real date YYYY-MM-DD, YYYY-MM-DD HH:MM or
              YYYY-MM-DD HH:MM:SS as written. A time before 1980 or after
              2107 is clamped to the nearest a ZIP member can hold, with a
              warning. The stub gives the files this time as the local time
              of the machine they are installed on.

       --codepage N
              The Windows ANSI code page of the machines the installer is
              meant for (default 1252): names, the script and the messages
              block are written in it, as the stub reads them. One of 874,
              932, 936, 949, 950 and 1250 to 1258.

       --check SCRIPT
              Reads SCRIPT as the stub will (keywords, the first '=', Text and
              License blocks, quotes and fields), reports every finding with
              its line, then says pass by pass what the stub will do.

       --list SETUP.EXE
              Shows the stub's size, its version information, execution
              level and icon sizes, the signature and its signer, the
              messages block and its entries, whether the archive uses Zip64
              (its Zip64 end record, the members with a Zip64 field), the
              script, and every member with its size, compressed size,
              method, time, attributes and encryption: AES-128, AES-192 or
              AES-256 by key strength (with +CRC for the first AES format,
              which also keeps the CRC), or traditional. Installers made by
              hand (cat stub archive.zip) are read as well.

       --test SETUP.EXE
              Reads every member of an installer back (made by zimbro-pack
              or by hand): local and central headers agree, the data
              decrypts (with a password, given as for packing; an AES
              member's password verifier and its authentication code over
              all of its encrypted data are checked), and it decodes to the
              declared size (and CRC, where one is stored). Also checks
              the script by the stub's rules. Prints each damaged member
              and a summary; exits 0 only when every member and the script
              are intact.

       --messages-template
              Writes a messages block with every text of the stub (read from
              its resources) under its key, the English text as the value and
              as a comment above it. Translate the values and give the file
              to --messages. --pseudo puts every value in brackets.

       -h, --help
              This page.

       --version
              The version of zimbro-pack.

EXIT STATUS
       0      Success; --check: the script is clean; --test: every member
              and the script are intact.
       1      --check: warnings only.
       2      The script or the messages block has errors (with --strict,
              warnings too): no installer written.
       3      An internal error: the installer just written did not read
              back as it was packed (it is not written), or an unexpected
              fault of zimbro-pack. Please report it.
       4      A file is at fault (an input, the stub, the icon, the
              certificate, the output's folder); --test: a member is
              damaged or could not be tested.
       5      The command line: an unknown option, a value out of range, an
              option the chosen mode does not take.
       Every failure prints one line on standard error that names what is
       at fault.

ENVIRONMENT
       SOURCE_DATE_EPOCH
              Seconds since 1970: the time of every member, as --mtime (which
              wins when both are given).

EXAMPLES
       zimbro-pack -o setup.exe --script install.txt app/
       zimbro-pack --check install.txt
       zimbro-pack --messages-template > ru.txt     (then translate ru.txt)
       zimbro-pack -o setup-ru.exe --codepage 1251 --messages ru.txt \
                   --script install.txt app/
       zimbro-pack -o setup.exe --password-env SETUP_PASS app/   (AES-256)
       zimbro-pack --list setup.exe
       zimbro-pack --test setup.exe
       zimbro-pack -o setup.exe --script install.txt --icon app.ico \
                   --version-info ProductName=App --version-info FileVersion=1.4.2 \
                   --sign-pkcs12 signer.p12 --sign-password-env SIGN_PASS app/
)";
