"""What the module checks itself before the library sees an argument: paths of every kind,
strings that UTF-8 cannot carry, files that are not regular; the switches it passes on; and
that a thread's call leaves nothing behind."""
import os
import signal
import socket
import threading

import pytest

import varimark

EAN = "400638133393"


class BytesPath:
    """An os.PathLike giving bytes: how verify takes a bytes path (bytes are a picture)."""

    def __init__(self, name):
        self.name = name

    def __fspath__(self):
        return self.name


@pytest.fixture
def no_hang():
    """A blocking call fails the test after 20 seconds instead of stopping the run."""
    def expire(*_):
        raise TimeoutError("the call blocked")
    old = signal.signal(signal.SIGALRM, expire)
    signal.alarm(20)
    yield
    signal.alarm(0)
    signal.signal(signal.SIGALRM, old)


def bound_socket(path):
    listener = socket.socket(socket.AF_UNIX)
    listener.bind(str(path))
    return listener


@pytest.mark.parametrize("make, kind", [
    (lambda d: os.mkfifo(d / "p.png") or d / "p.png", "a FIFO"),
    (lambda d: (os.mkfifo(d / "p"), os.symlink(d / "p", d / "l.png")) and d / "l.png", "a FIFO"),
    (lambda d: d, "a directory"),
    (lambda d: "/dev/null", "a character device"),
    (lambda d: bound_socket(d / "s") and d / "s", "a socket"),
], ids=["fifo", "link-to-fifo", "directory", "device", "socket"])
def test_verify_refuses_what_is_not_a_regular_file(tmp_path, no_hang, make, kind):
    path = make(tmp_path)
    with pytest.raises(varimark.Error) as raised:
        varimark.verify(path)
    assert str(raised.value) == f"Cannot read file {path}: it is {kind}"


# One bad value per argument: the argument's good value with a lone surrogate (which UTF-8
# cannot carry) or a NUL (where a C string would end) after it.
ARGUMENTS = [
    ("text", EAN, lambda v, d: varimark.encode(v)),
    ("type", "EAN_13", lambda v, d: varimark.encode(EAN, type=v)),
    ("addon", "12", lambda v, d: varimark.encode(EAN, addon=v)),
    ("font", "Arial", lambda v, d: varimark.render(EAN, font=v)),
    ("format", "png", lambda v, d: varimark.render(EAN, format=v)),
    ("format", "png", lambda v, d: varimark.save(d / "label", EAN, format=v)),
    ("path", "label.png", lambda v, d: varimark.save(os.path.join(d, v), EAN)),
    ("type", "EAN_13", lambda v, d: varimark.verify(varimark.render(EAN), v)),
    ("path", "label.png", lambda v, d: varimark.verify(os.path.join(d, v))),
]


@pytest.mark.parametrize("name, good, call", ARGUMENTS,
                         ids=["encode", "encode", "encode", "render", "render", "save", "save",
                              "verify", "verify"])
@pytest.mark.parametrize("bad, message", [
    ("\ud800", "{name}: cannot be encoded as UTF-8: surrogates not allowed (U+D800 at position"),
    ("\0", "{name} holds a NUL byte (\\x00)"),
], ids=["surrogate", "nul"])
def test_each_argument_refuses_what_it_cannot_carry_by_name(tmp_path, name, good, call, bad,
                                                            message):
    expected = message.format(name=name)
    if name == "path":
        expected = expected.replace("as UTF-8", "for the file system")
    if name == "text" and bad == "\0":
        expected = "the text holds a NUL byte (\\x00), which no barcode can carry"
    with pytest.raises(varimark.Error) as raised:
        call(good + bad, tmp_path)
    assert str(raised.value).startswith(expected)
    assert os.listdir(tmp_path) == []


# The name on disk for each kind of path; a name that is not UTF-8 comes as bytes, as the str
# os.fsdecode gives (surrogateescape), or for verify as an os.PathLike giving bytes.
@pytest.mark.parametrize("path, on_disk", [
    (lambda d: d / "label.png", b"label.png"),
    (lambda d: str(d / "label.png"), b"label.png"),
    (lambda d: os.fsencode(d / "label.png"), b"label.png"),
    (lambda d: os.fsencode(d) + b"/\xff.png", b"\xff.png"),
    (lambda d: os.fsdecode(os.fsencode(d) + b"/\xff.png"), b"\xff.png"),
], ids=["pathlib", "str", "bytes", "bytes-not-utf8", "str-from-fsdecode"])
def test_save_and_verify_take_every_kind_of_path(tmp_path, path, on_disk):
    name = path(tmp_path)
    varimark.save(name, EAN, dpi=600)
    assert os.listdir(os.fsencode(tmp_path)) == [on_disk]
    report = varimark.verify(BytesPath(name) if isinstance(name, bytes) else name, dpi=600)
    assert report["data"] == "4006381333931"


def test_a_file_name_that_is_not_utf8_is_shown_escaped(tmp_path):
    name = os.fsencode(tmp_path) + b"/\xff"
    with pytest.raises(varimark.Error) as raised:
        varimark.save(name, EAN)
    assert str(raised.value) == f"'{tmp_path}/\\xff' has no extension to choose the format; give format="


# Both switches are the library's; here, that each call hands them over.
#
# escapes: "\\" is one backslash, so with escapes "A\\B" is the symbol of the literal "A\B".
@pytest.mark.parametrize("call", [
    lambda text, d, **k: varimark.encode(text, type="CODE128_B", **k),
    lambda text, d, **k: varimark.render(text, type="CODE128_B", text_line=False, **k),
    lambda text, d, **k: (varimark.save(d / "c.bmp", text, type="CODE128_B", text_line=False,
                                        **k), (d / "c.bmp").read_bytes())[1],
], ids=["encode", "render", "save"])
def test_escapes_reaches_the_library(tmp_path, call):
    escaped = call("A\\\\B", tmp_path, escapes=True)
    assert escaped == call("A\\B", tmp_path)
    assert escaped != call("A\\\\B", tmp_path)


# Code 128 (ISO/IEC 15417), code set B, "A", FNC1 (given as \x86), "B": symbol values 104
# (Start B), 33, 102, 34. The check character, modulo 103 with the start weighted 1 and each
# data character by its place: 104 + 33*1 + 102*2 + 34*3 = 443 = 4*103 + 31, so value 31.
# Patterns from the table of symbol characters (bar, space, ... widths in modules):
# 104 211214, 33 111323, 102 411131, 34 131123, 31 212321, Stop 2331112.
CODE128_A_FNC1_B = ("11010010000" "10100011000" "11110101110" "10001011000" "11011000110"
                    "1100011101011")


def test_escapes_give_code_128_function_characters():
    assert varimark.encode("A\\x86B", type="CODE128_B", escapes=True)[1] == CODE128_A_FNC1_B
    assert "A\\x86B" in varimark.encode("A\\x86B", type="CODE128_B")[0]


# repair: EAN-13 check digit (ISO/IEC 15420), weights 1 and 3 from the left over the first 12
# digits of 400638133393: 4+0+0+18+3+24+1+9+3+9+9+9 = 89, so (10 - 9) mod 10 = 1; the 2 given
# is wrong, refused unless repaired.
@pytest.mark.parametrize("call", [
    lambda d, **k: varimark.encode(EAN + "2", **k)[0] == EAN + "1",
    lambda d, **k: varimark.render(EAN + "2", **k) == varimark.render(EAN + "1"),
    lambda d, **k: varimark.save(d / "e.png", EAN + "2", **k) is None,
], ids=["encode", "render", "save"])
def test_repair_reaches_the_library(tmp_path, call):
    assert call(tmp_path, repair=True)
    with pytest.raises(varimark.Error):
        call(tmp_path)


def resident_megabytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / (1 << 20)


# Each thread hands the library a 1 MB text; a handle kept per thread would keep 200 MB per
# round. A first round lets the allocator settle (its arenas, the thread stacks it caches),
# a second one is measured.
def test_threads_leave_no_memory_behind():
    text = "1" * (1 << 20)

    def work():
        try:
            varimark.render(text, type="CODE128_B")
        except varimark.Error:
            pass

    def round_of_threads():
        threads = [threading.Thread(target=work) for _ in range(200)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    round_of_threads()
    before = resident_megabytes()
    round_of_threads()
    assert resident_megabytes() - before < 64
