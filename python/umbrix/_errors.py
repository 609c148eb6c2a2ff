"""The exceptions and warnings of the umbrix module."""


class UsageError(ValueError):
    """A call the program would refuse with exit status 2: an unknown control or option, a
    value that is not a number, a bad channel or frame list, a bad settings file."""


class RenderError(OSError):
    """A file could not be read or written, or the tool could not be loaded or run (the
    program's exit status 1). ``filename`` is the file the message names, when there is one."""

    def __init__(self, message, filename=None):
        super().__init__(message)
        self.filename = filename

    def __str__(self):
        return self.args[0]


class UmbrixWarning(UserWarning):
    """What the program warns of: a control outside its range, both passes off, a missing depth
    or normal channel, a lossy compression, and the like."""


class OutOfMemory(RenderError, MemoryError):
    """Memory ran out while reading, rendering or writing: a RenderError that is a MemoryError."""


class Interrupted(KeyboardInterrupt):
    """A call stopped by SIGINT, SIGTERM or SIGHUP where no handler of the signal raised: off the
    main thread, or under a handler that returns. ``signal`` is its number; for ``render_file``,
    ``report`` is the RenderReport of the frames written before it stopped."""

    def __init__(self, signal, report=None):
        super().__init__(f"stopped by signal {signal}")
        self.signal = signal
        self.report = report
