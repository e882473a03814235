"""The exceptions of the veskor package.

Every failure the engine reports raises a subclass of :class:`Error` carrying the engine's
``status`` and ``message``; where the engine appended the place in its source that raised, that
is in ``location`` and not in ``str(e)``. The subclasses also derive from the built-in exception
a Python program would catch for the same kind of fault (``OSError``, ``ValueError``, ...).
"""

from __future__ import annotations

from typing import Optional

__all__ = [
    "Error",
    "ArgumentError",
    "ClosedError",
    "FileError",
    "MissingFileError",
    "ExistingFileError",
    "FormatError",
    "KindError",
    "OutOfMemoryError",
    "TextError",
]


class Error(Exception):
    """A failure reported by the engine, or one the package found before calling it.

    Attributes:
        status: the engine's status code (the ``VESKOR_ERROR_*`` value of the C API).
        message: the engine's message, without the source location.
        location: where in the engine it was raised (``in file "..." line N``), or None.
    """

    status: int
    message: str
    location: Optional[str]

    def __init__(self, message: str, status: int = 1, location: Optional[str] = None) -> None:
        super().__init__(message)
        self.message = message
        self.status = status
        self.location = location

    def __str__(self) -> str:
        return self.message

    def __reduce__(self):  # keeps status and location across pickling (worker processes)
        return (type(self), (self.message, self.status, self.location))


class ArgumentError(Error, ValueError):
    """An argument the engine refuses: an empty seek text, a key or text too long, n outside 1..500."""


class ClosedError(Error, ValueError):
    """The knowledge base or word associator was closed (or the engine shut down at exit)."""


class FileError(Error, OSError):
    """A file that cannot be read, written or removed, or a file changed behind the engine's back."""


class MissingFileError(FileError, FileNotFoundError):
    """The file to open does not exist."""


class ExistingFileError(FileError, FileExistsError):
    """The file to create exists already (pass overwrite=True to replace it)."""


class FormatError(Error, ValueError):
    """A file that is not a valid knowledge-base or word-associator file."""


class KindError(Error, TypeError):
    """An operation the knowledge base's kind does not allow, such as documents in an entries base."""


class OutOfMemoryError(Error, MemoryError):
    """The engine ran out of memory."""


class TextError(Error, UnicodeEncodeError):
    """A character of a str argument that the engine's Latin-1 cannot hold.

    Pass ``errors="replace"`` when opening or creating the knowledge base to store such
    characters as ``?`` instead. ``argument`` names the argument, ``start`` is the position.
    """

    argument: str

    def __init__(self, argument: str, text: str, position: int) -> None:
        UnicodeEncodeError.__init__(self, "latin-1", text, position, position + 1, "ordinal not in range(256)")
        character = text[position]
        self.argument = argument
        self.message = (
            f"{argument}: character U+{ord(character):04X} ({character!r}) at position {position} "
            "is outside Latin-1 (errors='replace' stores it as '?')"
        )
        self.status = 1
        self.location = None

    def __reduce__(self):
        return (type(self), (self.argument, self.object, self.start))


_BY_STATUS = {
    1: ArgumentError,  # argument not valid
    4: FileError,
    5: FileError,  # file name
    6: FormatError,
    7: ClosedError,  # a knowledge base the engine no longer knows: closed meanwhile
    9: ArgumentError,  # language
    10: ArgumentError,  # key not valid
    11: ArgumentError,  # entry or seek text not valid
    12: ArgumentError,  # number of hits
    13: ArgumentError,  # out of bounds
    18: KindError,  # feature type
    19: ClosedError,  # a word associator the engine no longer knows
    # Unlisted failures come as 100 * group + code.
    101: OutOfMemoryError,  # group 1: memory
    1607: FileError,  # word associator: the file's state cannot be read
    1608: FileError,  # word associator: the file changed since it was loaded or saved
    1609: FormatError,  # word associator: wrong tag or version
    500003: FileError,  # streams: write error
    500004: FormatError,  # streams: the file ends before its data do
}


for _error in __all__:  # shown and pickled under the package's name
    globals()[_error].__module__ = "veskor"


def _engine_error(status: int, message: str, location: Optional[str]) -> Error:
    """The exception for an engine status (called by the binding)."""
    if status == 3:  # the engine is not initialised: it was shut down at interpreter exit
        return ClosedError(message, status, location)
    return _BY_STATUS.get(status, Error)(message, status, location)


def _text_error(argument: str, text: str, position: int) -> TextError:
    """The exception for an unencodable character (called by the binding)."""
    return TextError(argument, text, position)
