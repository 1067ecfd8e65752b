"""Puts a mutant into the source tree and takes it out again, so that the
original is never lost: not on an error, not on Ctrl-C, not when the process
is killed.

Before a source is changed, its original bytes and a journal naming the file
and both versions' hashes are written (and synced) below the build folder.
A run that starts and finds a journal puts the originals back first. A file
that holds neither the original nor the mutant (someone edited it while the
mutant was in) is never overwritten: the backup is kept and the run stops.
"""

import hashlib
import json
import os
import shutil


class GuardError(RuntimeError):
    pass


def _digest(data):
    return hashlib.sha256(data).hexdigest()


def _temporary_beside(path):
    folder, name = os.path.split(path)
    return os.path.join(folder, f".{name}.mutate-tmp")


def _write_synced(path, data):
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.replace(temporary, path)


class SourceGuard:
    def __init__(self, root, state_dir):
        self.root = root
        self.state_dir = state_dir
        self.journal = os.path.join(state_dir, "journal.json")
        os.makedirs(state_dir, exist_ok=True)

    def recover(self):
        """Puts back what an interrupted run left; returns the files restored."""
        if not os.path.exists(self.journal):
            return []
        with open(self.journal, encoding="utf-8") as f:
            entries = json.load(f)
        restored = []
        for entry in entries:
            path = os.path.join(self.root, entry["path"])
            if os.path.exists(_temporary_beside(path)):
                os.remove(_temporary_beside(path))
            backup = os.path.join(self.state_dir, entry["backup"])
            with open(path, "rb") as f:
                current = _digest(f.read())
            if current == entry["original"]:
                continue
            if current != entry["mutant"]:
                raise GuardError(
                    f"{entry['path']} was edited while a mutant was in it; its original is "
                    f"kept in {backup} and {self.journal} names both versions: "
                    "merge by hand, then delete the journal")
            with open(backup, "rb") as f:
                original = f.read()
            if _digest(original) != entry["original"]:
                raise GuardError(f"the backup {backup} is damaged; {entry['path']} is left as it is")
            self._write_source(path, original)
            restored.append(entry["path"])
        self._clear(entries)
        return restored

    def apply(self, edits):
        """edits: [(repo path, original bytes, mutated bytes)]. The originals
        must still be what is on disk."""
        for path, original, _ in edits:
            with open(os.path.join(self.root, path), "rb") as f:
                if f.read() != original:
                    raise GuardError(f"{path} changed since the mutants were made")
        entries = []
        for number, (path, original, mutated) in enumerate(edits):
            backup = f"original-{number}"
            _write_synced(os.path.join(self.state_dir, backup), original)
            entries.append({"path": path, "backup": backup, "original": _digest(original),
                            "mutant": _digest(mutated)})
        _write_synced(self.journal, json.dumps(entries, indent=1).encode())
        for path, _, mutated in edits:
            self._write_source(os.path.join(self.root, path), mutated)

    def restore(self):
        self.recover()

    @staticmethod
    def _write_source(path, data):
        # Replaced in one step, so that the file always holds one whole
        # version; its new time makes the next build recompile it.
        temporary = _temporary_beside(path)
        with open(temporary, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        shutil.copymode(path, temporary)
        os.replace(temporary, path)

    def _clear(self, entries):
        os.remove(self.journal)
        for entry in entries:
            backup = os.path.join(self.state_dir, entry["backup"])
            if os.path.exists(backup):
                os.remove(backup)
