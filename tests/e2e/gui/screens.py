#!/usr/bin/env python3
"""Every screen of the Windows updater, under Wine on a virtual X display,
in Japanese and in English: each one is saved as a PNG and checked by its
pixels.

    screens.py UPDATER.EXE DEMOGEN.EXE RUNNING-GAME.EXE WINE-RUN.SH SOURCE-DIR WORK-DIR

A screen is one row of SCREENS. The rows of one scenario are the screens a
run of the updater shows, in order. The scenario's entry in SCENARIOS
prepares the sandbox (patch, game folder, install record), adds to the
updater's environment (a fault to inject), and gives the exit code the run
must end with and the check of the files after it. Every scenario runs once
per language of LANGUAGES (a row can name fewer). A new box is one more
row; a new situation is one more scenario.

For each screen the test waits (polling, never sleeping a fixed time) for
the window, captures the screen and checks:
  - the main window's background picture wherever no box or dialog covers
    it (the window itself sits in the middle of the screen);
  - the box or dialog: painted (not a black hole), centred on its owner;
  - its caption (the X window's name) and text: text pixels in the text
    area, with as many distinct glyph shapes as a text of that many
    distinct characters needs (empty squares are all alike);
  - for the progress dialog, the bar's filled width growing between two
    captures.
The pictures go to WORK-DIR/screens/LANG-SCENARIO-SCREEN.png.
"""
import collections
import os
import select
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

import image
import pixels
import xscreen

SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024
WAIT_SECONDS = 120
SETTLE_SECONDS = 15
# The worker pauses this long after each progress report, so that the
# dialog is seen moving whatever the machine's speed.
REPORT_DELAY_MS = 700
CRASH_EXIT = 137  # QV_FAULT's crash
GAME_MUTEX = 'QvDemo.SkyLantern.Running'
LANGUAGES = {'ja': 1041, 'en': 1033}

# caption and text: a key of the language's texts (updateinfo.xml's, else
# the updater's built-in ones), or the text itself, where {folder} stands for
# the game folder as the updater sees it and {KEY} for a text of the
# language. owner: what the box is centred on ('screen' without a main window).
Screen = collections.namedtuple(
    'Screen', 'scenario name window owner caption text answer languages',
    defaults=(tuple(LANGUAGES),))

FOLDER_IN_THE_WAY = '{error_access}\n{folder}\\scenario'
NO_SPACE = '{error_space}\n{folder}'
# A failed write is reported with the system's text alone.
DISK_FULL = 'Disk full.'
NOT_FOUND = 'updateinfo.xml was not found.'

SCREENS = [
    #      scenario       screen             window    owner     caption     text               answer
    Screen('install',     'confirm',         'box',    'main',   'wndtitle', 'intoro',          'Return'),
    Screen('install',     'progress',        'dialog', 'main',   None,       'copying',         None),
    Screen('install',     'success',         'box',    'dialog', 'wndtitle', 'success',         'Return'),
    Screen('no-record',   'confirm',         'box',    'main',   'wndtitle', 'intoro',          'Return'),
    Screen('no-record',   'error_inst',      'box',    'main',   'wndtitle', 'error_inst',      'Return'),
    Screen('in-the-way',  'confirm',         'box',    'main',   'wndtitle', 'intoro',          'Return'),
    Screen('in-the-way',  'error_access',    'box',    'main',   'wndtitle', FOLDER_IN_THE_WAY, 'Return'),
    Screen('disk-full',   'confirm',         'box',    'main',   'wndtitle', 'intoro',          'Return'),
    Screen('disk-full',   'worker-box',      'box',    'dialog', 'title',    DISK_FULL,         'Return'),
    Screen('disk-full',   'error_copy',      'box',    'dialog', 'title',    'error_copy',      'Return'),
    Screen('disk-full',   'unchanged',       'box',    'dialog', 'title',    'unchanged',       'Return'),
    Screen('no-space',    'confirm',         'box',    'main',   'wndtitle', 'intoro',          'Return'),
    Screen('no-space',    'error_space',     'box',    'main',   'wndtitle', NO_SPACE,          'Return'),
    Screen('busy',        'confirm',         'box',    'main',   'wndtitle', 'intoro',          'Return'),
    Screen('busy',        'error_busy',      'box',    'main',   'wndtitle', 'error_busy',      'Return'),
    Screen('running',     'confirm',         'box',    'main',   'wndtitle', 'intoro',          'Return'),
    # OK looks again, and the game still runs; Cancel ends.
    Screen('running',     'error_running',   'box',    'main',   'wndtitle', 'error_running',   'Return'),
    Screen('running',     'error_running-2', 'box',    'main',   'wndtitle', 'error_running',   'Escape'),
    Screen('interrupted', 'recovered',       'box',    'main',   'wndtitle', 'recovered',       'Return'),
    Screen('interrupted', 'confirm',         'box',    'main',   'wndtitle', 'intoro',          'Escape'),
    Screen('no-xml',      'not-found',       'box',    'screen', 'error',    NOT_FOUND,         'Return',
           languages=('en',)),
]

# The updater's own texts for what updateinfo.xml may leave out.
BUILT_IN_TEXTS = {
    'ja': {'error_access': '次のファイルまたはフォルダに書き込めないため、アップデートできません。',
           'error_space': 'ゲームのドライブの空き容量が足りないため、アップデートできません。',
           'error_busy': '別のアップデーターがこのゲームを更新しています。'
                         '終わってからもう一度起動してください。',
           'error_running': 'ゲームが起動しています。ゲームをすべて終了してから OK を、'
                            '更新をやめるにはキャンセルを押してください。',
           'unchanged': 'ゲームは更新前の状態のままです。',
           'recovered': '前回のアップデートが途中で中断されていたため、'
                        'ゲームのファイルを元の状態に整えました。'},
    'en': {'error_access': 'The update cannot be installed: this file or folder cannot be written.',
           'error_space': 'The update cannot be installed: '
                          'there is not enough free space on the game\'s drive.',
           'error_busy': 'Another updater is already updating this game. '
                         'Start this one again when it has finished.',
           'error_running': 'The game is currently running. Please close all instances of it '
                            'now, then click OK to continue, or Cancel to exit.',
           'unchanged': 'The game was left unchanged.',
           'recovered': 'An earlier update of this game was interrupted. '
                        'The updater has put the game\'s files back in order.'},
}


class Failure(Exception):
    pass


# --- the scenarios: what the sandbox holds, and what must happen to it ----

def prepare_install(run):
    write_record(run)
    write(run.game + '/readme_old.txt', 'old')


def check_install(run):
    for name in ('readme.txt', 'scenario/chapter07.txt', 'system/config.ini', 'game.exe'):
        if not same_file(run.patch + '/data/' + name, run.game + '/' + name):
            raise Failure('%s was not installed' % name)
    if same_file(run.patch + '/data/engine.dll', run.game + '/engine.dll'):
        raise Failure('the newer engine.dll was replaced')
    if os.path.exists(run.game + '/readme_old.txt'):
        raise Failure('readme_old.txt was not deleted')
    with open(run.game + '/install.log', encoding='utf-8') as f:
        if 'chapter07.txt' not in f.read():
            raise Failure('install.log does not name chapter07.txt')


def prepare_no_record(run):
    write(run.game + '/readme_old.txt', 'old')


def prepare_in_the_way(run):
    write_record(run)
    # A file where the patch needs a folder: the run is refused before the copy.
    write(run.game + '/scenario', 'in the way')


def prepare_disk_full(run):
    write_record(run)
    write(run.game + '/readme_old.txt', 'old')
    write(run.game + '/install.log', '"old line"\r\n')


def prepare_no_space(run):
    write_record(run)
    # A patch file larger than the drive's free space, that takes none.
    size = 15 << 40
    if shutil.disk_usage(run.game).free >= size:
        raise Failure('the drive has more than %d bytes free' % size)
    with open(run.patch + '/data/huge.bin', 'wb') as f:
        f.truncate(size)


def prepare_running(run):
    write_record(run)
    description = run.patch + '/updateinfo.xml'
    with open(description, encoding='utf-8') as f:
        text = f.read()
    write(description, text.replace('</brand>', '</brand>\n  <mutex>%s</mutex>' % GAME_MUTEX, 1))


def prepare_no_xml(run):
    os.remove(run.patch + '/updateinfo.xml')


def check_unchanged(run):
    """The game folder holds what it held before the run, byte for byte and
    with the same times, and nothing else."""
    after = tree(run.game)
    for path in sorted(set(run.before) | set(after)):
        if run.before.get(path) != after.get(path):
            what = 'added' if path not in run.before else (
                'removed' if path not in after else 'changed')
            raise Failure('%s was %s' % (path, what))


# interrupted: QV_FAULT for a first run, without windows, that the fault ends
# half-way as a crash would; the screens are those of the run after it.
# beside: a key of COMPANIONS, the program that holds what the run must
# find taken.
Scenario = collections.namedtuple('Scenario',
                                  'prepare check exit_code environment interrupted beside',
                                  defaults=({}, None, None))

# A program that runs beside the updater for the whole screen run: started
# first and waited for until it writes `holding`, then given `release` on
# its standard input after the run, and ending with `exit_code`.
Companion = collections.namedtuple(
    'Companion', 'name command environment holding release exit_code')

COMPANIONS = {
    # Another updater that has taken the game folder and waits at its
    # confirmation; it is cancelled after.
    'updater': Companion('the other updater', lambda test: ['./updater.exe'], {'QV_UI': 'script'},
                         b'buttons=okcancel answer=', b'cancel\n', 2),
    # The game, holding its named mutex.
    'game': Companion('the running game', lambda test: [test.running_game, GAME_MUTEX], {},
                      b'held', b'\n', 0),
}

# Exit codes: 0 applied, 1 failed with the game unchanged, 2 refused before
# anything was touched.
SCENARIOS = {
    'install': Scenario(prepare_install, check_install, 0),
    'no-record': Scenario(prepare_no_record, check_unchanged, 2),
    'in-the-way': Scenario(prepare_in_the_way, check_unchanged, 2),
    # A file of the game is the first file written.
    'disk-full': Scenario(prepare_disk_full, check_unchanged, 1, {'QV_FAULT': 'write:1:112'}),
    'no-space': Scenario(prepare_no_space, check_unchanged, 2),
    'busy': Scenario(prepare_disk_full, check_unchanged, 2, beside='updater'),
    'running': Scenario(prepare_running, check_unchanged, 2, beside='game'),
    # The 11th rename comes when the journal says "switching" and some of
    # the new files are in place (the new folder scenario\ has moved in,
    # system\ not yet); the next run rolls the game back.
    'interrupted': Scenario(prepare_disk_full, check_unchanged, 2, interrupted='rename:11:crash'),
    'no-xml': Scenario(prepare_no_xml, check_unchanged, 2),
}


# --- helpers ------------------------------------------------------------------

def write(path, text):
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text)


def same_file(a, b):
    try:
        with open(a, 'rb') as fa, open(b, 'rb') as fb:
            return fa.read() == fb.read()
    except OSError:
        return False


def tree(folder):
    """Every entry below `folder`: a file's bytes and modification time, or
    None for a folder (whose times change with what passes through it)."""
    entries = {}
    for parent, folders, files in os.walk(folder):
        for name in folders:
            entries[os.path.relpath(os.path.join(parent, name), folder)] = None
        for name in files:
            path = os.path.join(parent, name)
            with open(path, 'rb') as f:
                entries[os.path.relpath(path, folder)] = (f.read(), os.stat(path).st_mtime_ns)
    return entries


def wine_path(path):
    return 'Z:' + path.replace('/', '\\')


def write_record(run):
    os.makedirs(run.appdata + '/QvDemo', exist_ok=True)
    write(run.appdata + '/QvDemo/SkyLantern.xml',
          '<install><path>%s</path></install>' % wine_path(run.game))


def language_texts(description, prifix):
    """The texts of one language of the demo's updateinfo.xml, with the
    line breaks the updater makes of \\n where it makes them."""
    root = ElementTree.parse(description).getroot()
    texts = {}
    for element in root.find(prifix).iter():
        if element.text and not list(element):
            texts[element.tag] = element.text
    for key in ('wndtitle', 'intoro', 'success', 'error_version', 'error_inst'):
        texts[key] = texts[key].replace('\\n', '\n')
    return texts


def wait_for(what, condition, seconds=WAIT_SECONDS):
    deadline = time.monotonic() + seconds
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure('timed out waiting for %s' % what)
        time.sleep(0.1)


class Display:
    """Xvfb on a display number of its own choosing, and xdotool on it."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-noreset', '-screen', '0',
             '%dx%dx24' % (SCREEN_WIDTH, SCREEN_HEIGHT), '-nolisten', 'tcp'],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            raise Failure('Xvfb did not start')
        self.name = ':' + number
        self.x = xscreen.Connection(self.name)

    def close(self):
        self.x.close()
        self.server.terminate()
        self.server.wait()

    def tool(self, *arguments):
        result = subprocess.run(['xdotool'] + list(arguments), capture_output=True,
                                env=dict(os.environ, DISPLAY=self.name))
        return result.stdout

    def windows(self):
        """The updater's visible windows, topmost first: (id, name, rect)."""
        visible = set(self.tool('search', '--onlyvisible', '--class', 'updater.exe').split())
        found = []
        for window in self.x.top_level_windows():
            decimal = str(window).encode()
            if decimal not in visible:
                continue
            name = self.tool('getwindowname', decimal).decode('utf-8', 'replace').rstrip('\n')
            shape = dict(line.split('=') for line in
                         self.tool('getwindowgeometry', '--shell', decimal).decode().split())
            if 'WIDTH' not in shape:
                continue  # gone since the search
            rect = tuple(int(shape[k]) for k in ('X', 'Y', 'WIDTH', 'HEIGHT'))
            found.append((decimal, name, rect))
        return found


# --- one run of the updater -------------------------------------------------------

class Run:
    def __init__(self, test, scenario, language):
        self.test, self.scenario, self.language = test, scenario, language
        base = os.path.join(test.work, 'screens-run', scenario + '-' + language)
        shutil.rmtree(base, ignore_errors=True)
        self.patch, self.game, self.appdata = base + '/patch', base + '/game', base + '/appdata'
        shutil.copytree(test.template, self.patch)
        shutil.copytree(test.template_game, self.game)
        os.makedirs(self.appdata)
        shutil.copy(test.updater, self.patch + '/updater.exe')
        self.texts = dict(BUILT_IN_TEXTS[language], **test.texts[language])
        self.before = None    # the game folder's entries before the run
        self.main = None      # the main window's rectangle once seen
        self.dialog = None    # the progress dialog's, once seen
        self.seen = set()     # the windows earlier screens showed
        self.process = None
        self.companion = None  # the program beside it, and its process
        self.companion_process = None
        self.failures = []

    def environment(self, extra):
        return dict(os.environ, QV_UI_LANGUAGE=str(LANGUAGES[self.language]),
                    QV_COMMON_APPDATA=wine_path(self.appdata),
                    QV_TEST_REPORT_DELAY=str(REPORT_DELAY_MS), **extra)

    def start(self, environment):
        self.process = self.test.wine(['./updater.exe'], cwd=self.patch,
                                      env=self.environment(environment), wait=False)

    def start_companion(self, key):
        self.companion = companion = COMPANIONS[key]
        self.companion_process = process = self.test.wine(
            companion.command(self.test), cwd=self.patch,
            env=self.environment(companion.environment), wait=False, pipes=True)
        output = b''

        def holding():
            nonlocal output
            if select.select([process.stdout], [], [], 0.5)[0]:
                output += os.read(process.stdout.fileno(), 4096)
            return companion.holding in output
        wait_for('%s to hold' % companion.name, holding)

    def end_companion(self):
        process = self.companion_process
        process.stdin.write(self.companion.release)
        process.stdin.close()
        code = process.wait(WAIT_SECONDS)
        if code != self.companion.exit_code:
            raise Failure('%s exited with %d, expected %d'
                          % (self.companion.name, code, self.companion.exit_code))

    def interrupt(self, fault):
        """A first run, with the script front end, that `fault` ends while
        the game is half switched."""
        env = self.environment({'QV_UI': 'script', 'QV_FAULT': fault})
        code = self.test.wine(['./updater.exe'], cwd=self.patch, env=env, wait=False).wait(
            WAIT_SECONDS)
        if code != CRASH_EXIT:
            raise Failure('the interrupted run exited with %d, expected %d' % (code, CRASH_EXIT))
        with open(self.game + '/~qvupdate/journal', 'rb') as f:
            lines = f.read().decode('utf-8', 'replace').splitlines()
        after = tree(self.game)
        if 'state switching' not in lines or all(
                after.get(path) == entry for path, entry in self.before.items()):
            raise Failure('%s did not leave the game half switched' % fault)

    def text(self, key):
        if key is None:
            return None
        if key in self.texts:
            return self.texts[key]
        return key.format_map(dict(self.texts, folder=wine_path(self.game)))

    def pick(self, screen):
        """The topmost window of the kind `screen` shows (a box has a
        caption, the dialog has none), or None."""
        windows = self.test.display.windows()
        if self.main is None:
            main = [w for w in windows if w[2][2] > self.test.picture.width]
            self.main = main[0][2] if main else None
            if self.main is None and screen.owner == 'main':
                return None  # the box may be mapped before the window under it
        others = [w for w in windows if w[2] != self.main]
        for window, name, rect in others:
            if name == '':
                self.dialog = rect
        for window, name, rect in others:
            if window not in self.seen and (name == '') == (screen.window == 'dialog'):
                return window, name, rect, [w[2] for w in others]
        return None

    def capture(self, rect, still=True, settled=lambda shot: True):
        """The screen once the window at `rect` is painted and `settled`
        holds (and, unless it is a moving dialog, it looks the same in two
        captures in a row). A window is mapped before it is drawn, and what
        it uncovers is drawn later still; a screen that never settles is
        returned after SETTLE_SECONDS as it is, for the checks to report."""
        previous = unsettled = None
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            shot = self.test.display.x.grab()
            region = shot.crop(*rect)
            if pixels.is_painted(region) and (not still or region.rows == previous):
                if settled(shot):
                    return shot
                unsettled = shot
                deadline = min(deadline, time.monotonic() + SETTLE_SECONDS)
            previous = region.rows
            time.sleep(0.1)
        if unsettled:
            return unsettled
        raise Failure('the window at %s was never painted' % (rect,))

    def show(self, screen):
        window, name, rect, covered = wait_for('the %s screen' % screen.name,
                                               lambda: self.pick(screen))
        if screen.window == 'dialog':
            shots = self.watch_progress(rect)
        else:
            # A box is answered only once it is drawn: a key pressed before
            # may go elsewhere.
            shots = [self.capture(rect, settled=lambda shot: pixels.is_drawn_box(
                shot.crop(*rect)) and not self.background_problems(shot, covered))]
        self.seen.add(window)
        for index, shot in enumerate(shots):
            suffix = '-%d' % (index + 1) if len(shots) > 1 else ''
            name_in_file = '%s-%s-%s%s' % (self.language, self.scenario, screen.name, suffix)
            self.save(shot, rect, name_in_file)
        self.check(screen, name, rect, shots[-1], covered)
        if screen.answer:
            self.test.display.tool('key', screen.answer)
            wait_for('the %s box to close' % screen.name,
                     lambda: window not in [w[0] for w in self.test.display.windows()])

    def watch_progress(self, rect):
        """Two captures of the dialog, the second with more of the bar filled."""
        first = self.capture(rect, still=False)
        first_width = pixels.filled_width(first.crop(*rect))

        def grown():
            shot = self.capture(rect, still=False)
            return shot if pixels.filled_width(shot.crop(*rect)) > first_width else None
        return [first, wait_for('the progress bar to grow', grown)]

    def save(self, shot, rect, name):
        """What the player sees: the main window and the box or dialog, or
        the box with some of the screen around it."""
        if self.main:
            left, top = min(self.main[0], rect[0]), min(self.main[1], rect[1])
            right = max(self.main[0] + self.main[2], rect[0] + rect[2])
            bottom = max(self.main[1] + self.main[3], rect[1] + rect[3])
        else:
            left, top = rect[0] - 40, rect[1] - 40
            right, bottom = rect[0] + rect[2] + 40, rect[1] + rect[3] + 40
        image.write_png(os.path.join(self.test.out, name + '.png'),
                        shot.crop(left, top, right - left, bottom - top))

    def check(self, screen, name, rect, shot, covered):
        problems = []
        caption = self.text(screen.caption)
        if caption is not None and name != caption:
            problems.append('caption %r, expected %r' % (name, caption))
        if not pixels.is_painted(shot.crop(*rect)):
            problems.append('not painted')
        owner = {'main': self.main, 'dialog': self.dialog,
                 'screen': (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT)}[screen.owner]
        problems += centring_problems(rect, owner, captioned=screen.window == 'box')
        problems += self.background_problems(shot, covered)
        problems += text_problems(shot.crop(*rect), self.text(screen.text),
                                  file_line=screen.window == 'dialog')
        for problem in problems:
            self.failures.append('%s: %s' % (screen.name, problem))

    def background_problems(self, shot, covered):
        if self.main is None:
            return []
        picture = self.test.picture
        left = (SCREEN_WIDTH - picture.width) // 2
        top = (SCREEN_HEIGHT - picture.height) // 2
        if self.main != (left - 1, top - 1, picture.width + 2, picture.height + 2):
            return ['main window at %s, not centred with a one-pixel border' % (self.main,)]
        bad = pixels.background_mismatches(shot, picture, left, top, covered)
        return ['background differs at %d points, first %s' % (len(bad), bad[0])] if bad else []


def centring_problems(rect, owner, captioned):
    """Wine centres a box's whole frame on its owner; without a window
    manager the caption is not drawn, so the visible part sits up to half
    a caption lower."""
    if owner is None:
        return ['no owner window seen']
    dx = (2 * rect[0] + rect[2]) - (2 * owner[0] + owner[2])
    dy = (2 * rect[1] + rect[3]) - (2 * owner[1] + owner[3])
    low = 30 if captioned else 2
    if abs(dx) > 4 or not -4 <= dy <= low:
        return ['at %s, not centred on its owner at %s' % (rect, owner)]
    return []


def text_problems(region, text, file_line):
    areas = [a for a in pixels.text_areas(region) if pixels.ink(region, *a)]
    if not areas:
        return ['no text']
    problems = []
    why = pixels.legible(pixels.ink(region, *areas[0]), text)
    if why:
        problems.append('text: ' + why)
    if file_line and len(areas) < 2:
        problems.append('no file line below the progress bar')
    return problems


# --- the whole test ---------------------------------------------------------------

class Test:
    def __init__(self, display, updater, demogen, running_game, wine_run, source, work):
        self.display, self.updater, self.wine_run, self.work = display, updater, wine_run, work
        self.running_game = running_game
        self.prefix = os.path.join(work, 'wineprefix-gui')
        self.out = os.path.join(work, 'screens')
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        self.template = os.path.join(work, 'screens-run', 'template')
        shutil.rmtree(self.template, ignore_errors=True)
        shutil.copytree(os.path.join(source, 'demo', 'patch'), self.template)
        self.template_game = os.path.join(work, 'screens-run', 'template-game')
        shutil.rmtree(self.template_game, ignore_errors=True)
        os.makedirs(self.template_game)
        shown = os.path.join(work, 'screens-run', 'shown.ppm')
        self.wine([demogen, wine_path(self.template), wine_path(self.template_game),
                   wine_path(shown)])
        self.picture = image.read_ppm(shown)
        self.wine([os.path.join(source, 'scripts', 'wine-fonts.sh'), '--prefix', self.prefix],
                  direct=True)
        description = os.path.join(self.template, 'updateinfo.xml')
        self.texts = {'ja': language_texts(description, 'jp'),
                      'en': language_texts(description, 'en')}

    def wine(self, arguments, cwd=None, env=None, wait=True, direct=False, pipes=False):
        """Runs a program under Wine; with `pipes`, its standard input and
        output are pipes, else nothing."""
        env = dict(env or os.environ, QV_WINE_DISPLAY=self.display.name,
                   WINEDLLOVERRIDES='winealsa.drv=d')  # no sound card under test
        live = ['--live'] if pipes else []
        command = arguments if direct else [self.wine_run, '--prefix', self.prefix] + live + arguments
        stream = subprocess.PIPE if pipes else subprocess.DEVNULL
        process = subprocess.Popen(command, cwd=cwd, env=env, stdin=stream, stdout=stream,
                                   stderr=subprocess.DEVNULL)
        if wait and process.wait(WAIT_SECONDS) != 0:
            raise Failure('%s failed' % ' '.join(arguments))
        return process

    def run(self, scenario, language):
        plan = SCENARIOS[scenario]
        run = Run(self, scenario, language)
        try:
            plan.prepare(run)
            run.before = tree(run.game)
            if plan.interrupted:
                run.interrupt(plan.interrupted)
            if plan.beside:
                run.start_companion(plan.beside)
            run.start(plan.environment)
            for screen in SCREENS:
                if screen.scenario == scenario and language in screen.languages:
                    run.show(screen)
            if run.process.wait(WAIT_SECONDS) != plan.exit_code:
                raise Failure('the updater exited with %d, expected %d'
                              % (run.process.returncode, plan.exit_code))
            if plan.beside:
                run.end_companion()
            plan.check(run)
        except Failure as failure:
            run.failures.append(str(failure))
        finally:
            if run.companion_process and run.companion_process.poll() is None:
                run.companion_process.kill()
            if run.process and run.process.poll() is None:
                run.process.kill()
                subprocess.run(['wineserver', '-k'], env=dict(os.environ, WINEPREFIX=self.prefix))
        return run.failures


def main():
    display = Display()
    failures = []
    try:
        test = Test(display, *sys.argv[1:7])
        scenarios = list(dict.fromkeys(s.scenario for s in SCREENS))
        for language in LANGUAGES:
            for scenario in scenarios:
                if not any(s.scenario == scenario and language in s.languages for s in SCREENS):
                    continue
                problems = test.run(scenario, language)
                for problem in problems:
                    failures.append('%s %s: %s' % (language, scenario, problem))
                print('%s %s: %s' % (language, scenario, 'FAILED' if problems else 'ok'))
    finally:
        display.close()
    for failure in failures:
        print('  ' + failure)
    print('screens: %s' % test.out)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
