/*
 * com1-device: COM1 for the end-to-end tests, a preloaded library that turns the pseudo-terminal
 * COM1 is mapped to into a serial port whose carrier-detect line plays a pulse/space recording
 * in virtual time.
 *
 * Wine 8.0 cannot pass real infrared timing through a serial port: a pseudo-terminal has no
 * modem lines, and a WaitCommEvent is served by a new pthread that polls the modem status about
 * once a millisecond.  So this library answers the port's modem-line ioctls itself and gives the
 * thread that waits on the port a counter of its own.  The line changes only inside a wait: the
 * first sleep of the thread Wine creates for a wait (the one created straight after the wait read
 * its baseline) moves that counter to the next scheduled edge, changes carrier-detect and returns
 * at once; between waits the counter stands still but for one tick per read, so it never runs
 * backwards.  Every change is then seen by exactly one wait and stamped at its scheduled time,
 * whatever the machine's load.  Every other thread keeps the real clock: Wine turns relative
 * timeouts into absolute times with the same counter, and the wineserver compares them with its
 * own clock.  NOTES.md beside this file says what was measured to build it this way.
 *
 * The library is built twice (lib/i386-linux-gnu and lib/x86_64-linux-gnu, so LD_PRELOAD can name
 * both with $LIB).  Debian's 32-bit Wine is built with 64-bit time_t and calls __ioctl_time64,
 * __select64 and __clock_gettime64; built with _TIME_BITS=64, the definitions below take those
 * names on i386 and the plain ones on x86_64.
 *
 * A session's settings come from the session file named by COM1_DEVICE_SESSION, which the
 * first process to use the port reads and then removes, so each file is played once (a Wine
 * process started by a Windows program inherits its parent's Unix environment, not what the
 * parent set in its Windows one, so the environment cannot carry them).  Its lines are
 * NAME=VALUE:
 *   COM1_DEVICE_RECORDING  the recording to play (pulse/space items in us, or "units ticks" at
 *                          10 MHz); without one the line stays on and no wait ever ends
 *   COM1_DEVICE_LOG        the log: each termios setting and DTR/RTS change, each edge with its
 *                          due time and the counter the program read after it, and the events
 *                          below (times are ticks of 100 ns from the moment the port was opened)
 *   COM1_DEVICE_FAIL_AFTER=N   after N edges the modem status fails (EIO): the port dies
 *   COM1_DEVICE_HOLD_EDGE=N, COM1_DEVICE_HOLD_FILE, COM1_DEVICE_HOLD_TEXT
 *                          edge N waits, in real time, until the file holds the text
 *   COM1_DEVICE_AT_END=interrupt  once the recording has been played and its last edge read,
 *                          SIGINT to the waiting thread: Ctrl+C as a terminal sends it
 * Once the recording has been played the line stays as it is and the next wait never ends.
 *
 * The port is the pseudo-terminal that COM1_DEVICE_PTY in the environment names.  The wineserver,
 * not the program, opens it for every CreateFile; there COM1_DEVICE_EXCLUSIVE=1 makes a second
 * open while it is open fail with EACCES, which the program sees as error 5, as Windows answers
 * for a port that another program holds (Wine itself refuses none).
 *
 * Threads: the waiting thread (the first to use the port, other than a poll thread) reads the
 * virtual counter; Wine's poll threads play the edges; both change the shared state below under
 * deviceLock.
 */
#define _GNU_SOURCE
#if defined(__i386__)
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64
#endif
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#if defined(__i386__)
#define REAL_IOCTL "__ioctl_time64"
#define REAL_SELECT "__select64"
#define REAL_CLOCK_GETTIME "__clock_gettime64"
#define REAL_OPEN "open64"
#define REAL_OPENAT "openat64"
#else
#define REAL_IOCTL "ioctl"
#define REAL_SELECT "select"
#define REAL_CLOCK_GETTIME "clock_gettime"
#define REAL_OPEN "open"
#define REAL_OPENAT "openat"
#endif
/* (On i386 the open and openat below take the names open64 and openat64, as _FILE_OFFSET_BITS
   asks; only the 64-bit wineserver needs them.) */

/* Wine's performance counter: CLOCK_MONOTONIC_RAW in units of 100 ns. */
enum { NS_PER_TICK = 100, TICKS_PER_US = 10 };
static const int64_t TICKS_PER_SECOND = 10000000;
enum { MAX_EDGES = 262144, LOG_LINE_SIZE = 512 };
/* A held edge looks for its text this often, and gives up after so long. */
enum { HOLD_POLL_MS = 10, HOLD_LIMIT_MS = 120000 };

/* ---- the real functions ---- */

static void *RealFunction(const char *name)
{
    void *function = dlsym(RTLD_NEXT, name);
    if (function == NULL) {
        static const char message[] = "com1-device: a function of the C library is missing\n";
        if (write(2, message, sizeof message - 1) < 0)
            _exit(127);
        _exit(127);
    }
    return function;
}

typedef int (*IoctlFunction)(int, unsigned long, void *);
typedef int (*SelectFunction)(int, fd_set *, fd_set *, fd_set *, struct timeval *);
typedef int (*ClockFunction)(clockid_t, struct timespec *);
typedef int (*TcsetattrFunction)(int, int, const struct termios *);
typedef int (*OpenFunction)(const char *, int, mode_t);
typedef int (*OpenatFunction)(int, const char *, int, mode_t);
typedef int (*ThreadCreateFunction)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);

/* The C library's function `name`, looked up once per call site (every Wine process runs
   through these wrappers, clock_gettime above all). */
#define REAL(type, name)                                                                          \
    (__extension__({                                                                              \
        static type real;                                                                         \
        if (real == NULL)                                                                         \
            real = (type)RealFunction(name);                                                      \
        real;                                                                                     \
    }))

static int64_t RealCounter(void)
{
    struct timespec now;
    REAL(ClockFunction, REAL_CLOCK_GETTIME)(CLOCK_MONOTONIC_RAW, &now);
    return (int64_t)now.tv_sec * TICKS_PER_SECOND + now.tv_nsec / NS_PER_TICK;
}

static pid_t ThreadId(void) { return (pid_t)syscall(SYS_gettid); }

static void SleepMs(int ms)
{
    struct timespec pause = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}

/* ---- the session: written under deviceLock ---- */

struct Edge {
    int64_t due; /* ticks from the epoch */
    int on;      /* carrier-detect after the edge */
};

static pthread_mutex_t deviceLock = PTHREAD_MUTEX_INITIALIZER;
static struct Edge edges[MAX_EDGES];
static int edgeCount;
static int delivered;         /* edges played so far */
static int latestRead;        /* whether the waiting thread has read the counter since the latest edge */
static int latestWaits;       /* waits that ended on the latest edge */
static int lineOn = 1;        /* carrier-detect; the line idles on */
static int portDead;          /* the modem status fails */
static int modemOutputs;      /* TIOCM_DTR and TIOCM_RTS as the program set them */
static pid_t waitingThread;   /* 0 until the port is first used */
static int64_t epoch;         /* the real counter when the port was first used */
static int64_t virtualCounter; /* the waiting thread's counter */
static int failAfter, holdEdge, interruptAtEnd, endReported;
static const char *holdFile, *holdText;
static int logFd = -1;

/* Per thread: whether it is a poll thread Wine created for a wait, what that wait's baseline
   was and whether it has changed the line yet; for the waiting thread, whether its latest call
   on the port read the modem status (the baseline a new wait begins with). */
static __thread int isPollThread, pollBaseline, pollChangedLine, pollSawChange;
static __thread int baselineJustRead, baselineLine, isWaitingThread;

static void DeviceLog(const char *format, ...)
{
    if (logFd < 0)
        return;
    char line[LOG_LINE_SIZE];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(line, sizeof line - 1, format, arguments);
    va_end(arguments);
    if (length < 0)
        return;
    if (length > (int)sizeof line - 2)
        length = (int)sizeof line - 2;
    line[length++] = '\n';
    if (write(logFd, line, (size_t)length) < 0)
        return;
}

/* The session file's text, its NAME=VALUE lines cut into strings; read once. */
enum { SESSION_FILE_SIZE = 4096 };
static char sessionText[SESSION_FILE_SIZE];
static int sessionLength;

static void ReadSessionFile(void)
{
    const char *path = getenv("COM1_DEVICE_SESSION");
    int fd = path != NULL ? REAL(OpenFunction, REAL_OPEN)(path, O_RDONLY | O_CLOEXEC, 0) : -1;
    if (fd < 0)
        return;
    ssize_t got = read(fd, sessionText, sizeof sessionText - 1);
    close(fd);
    unlink(path);
    sessionLength = got > 0 ? (int)got : 0;
    for (int i = 0; i < sessionLength; ++i)
        if (sessionText[i] == '\n')
            sessionText[i] = '\0';
}

/* A setting of the session, or NULL. */
static const char *Setting(const char *name)
{
    size_t length = strlen(name);
    for (int at = 0; at < sessionLength; at += (int)strlen(sessionText + at) + 1)
        if (strncmp(sessionText + at, name, length) == 0 && sessionText[at + length] == '=')
            return sessionText + at + length + 1;
    return NULL;
}

static int SettingNumber(const char *name)
{
    const char *text = Setting(name);
    return text != NULL ? atoi(text) : 0;
}

static void OpenLog(void)
{
    const char *path = Setting("COM1_DEVICE_LOG");
    if (logFd < 0 && path != NULL && *path)
        logFd = REAL(OpenFunction, REAL_OPEN)(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

/* Appends a run of `ticks` with the line `on`; a run of the line's present state only
   lengthens it.  Returns 0 when the recording holds too many edges. */
static int AppendRun(int on, int64_t ticks, int *line, int64_t *at)
{
    if (on != *line) {
        if (edgeCount == MAX_EDGES)
            return 0;
        edges[edgeCount].due = *at;
        edges[edgeCount].on = on;
        ++edgeCount;
        *line = on;
    }
    *at += ticks;
    return 1;
}

/* Reads the recording into `edges`, as the program's replay line plays one: the line starts
   on, each pulse (line off) or space (line on) that changes it is an edge at its start.  Only
   the forms the tests write: items in microseconds, or "units ticks" at 10 MHz.  Returns the
   problem, or NULL. */
static const char *LoadRecording(const char *path)
{
    FILE *file = fopen(path, "r");
    if (file == NULL)
        return "cannot be opened";
    char text[256];
    int line = 1, ticksPerUnit = TICKS_PER_US, items = 0;
    int64_t at = 0;
    const char *problem = NULL;
    while (problem == NULL && fgets(text, sizeof text, file) != NULL) {
        char word[16];
        unsigned long long number;
        if (text[0] == '#' || text[0] == '\n' || text[0] == '\r')
            continue;
        if (sscanf(text, "%15s %llu", word, &number) != 2)
            problem = "holds a line that is neither an item, a comment nor a setting";
        else if (strcmp(word, "pulse") == 0 || strcmp(word, "space") == 0) {
            if (!AppendRun(strcmp(word, "space") == 0, (int64_t)number * ticksPerUnit, &line, &at))
                problem = "has more edges than the device holds";
            ++items;
        } else if (items == 0 && strcmp(word, "frequency") == 0 && number == (unsigned long long)TICKS_PER_SECOND)
            continue;
        else if (items == 0 && strcmp(text, "units ticks\n") == 0)
            ticksPerUnit = 1;
        else
            problem = "holds a setting the device does not play (only 'frequency 10000000' and 'units ticks')";
    }
    fclose(file);
    return problem;
}

/* The port's first use: the calling thread becomes the waiting thread, its counter starts at
   the real one, and the session's settings are read.  Under deviceLock. */
static void StartSession(void)
{
    waitingThread = ThreadId();
    isWaitingThread = 1;
    epoch = RealCounter();
    virtualCounter = epoch;
    ReadSessionFile();
    OpenLog();
    failAfter = SettingNumber("COM1_DEVICE_FAIL_AFTER");
    holdEdge = SettingNumber("COM1_DEVICE_HOLD_EDGE");
    holdFile = Setting("COM1_DEVICE_HOLD_FILE");
    holdText = Setting("COM1_DEVICE_HOLD_TEXT");
    const char *atEnd = Setting("COM1_DEVICE_AT_END");
    interruptAtEnd = atEnd != NULL && strcmp(atEnd, "interrupt") == 0;
    const char *recording = Setting("COM1_DEVICE_RECORDING");
    const char *problem = recording != NULL && *recording ? LoadRecording(recording) : NULL;
    if (problem != NULL) {
        DeviceLog("refused: the recording %s %s", recording, problem);
        edgeCount = 0;
    }
    DeviceLog("session: %d edges over %lld ticks from %s; pid %d, thread %d; fail after %d; hold edge %d; at end %s",
              edgeCount, edgeCount ? (long long)edges[edgeCount - 1].due : 0LL,
              recording != NULL ? recording : "(no recording)", (int)getpid(), (int)waitingThread, failAfter,
              holdEdge, interruptAtEnd ? "interrupt" : "idle");
}

/* ---- the port ---- */

/* The pseudo-terminal COM1 is mapped to, COM1_DEVICE_PTY in the environment: only that one is
   the port (a terminal the tests run in is a pseudo-terminal too).  0 until looked up, -1 when
   there is none. */
static int portKnown;
static dev_t portDevice;

static int IsPort(int fd)
{
    struct stat status;
    if (portKnown == 0) {
        const char *path = getenv("COM1_DEVICE_PTY");
        struct stat port;
        portKnown = path != NULL && stat(path, &port) == 0 && S_ISCHR(port.st_mode) ? 1 : -1;
        if (portKnown == 1)
            portDevice = port.st_rdev;
    }
    return portKnown == 1 && fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && status.st_rdev == portDevice;
}

/* Any use of the port: the first, by a thread other than a poll thread, starts the session. */
static void UsePort(void)
{
    pthread_mutex_lock(&deviceLock);
    if (waitingThread == 0 && !isPollThread)
        StartSession();
    pthread_mutex_unlock(&deviceLock);
}

/* The modem status: the outputs as set, and carrier-detect as the recording has it. */
static int ReadModemStatus(int *status)
{
    pthread_mutex_lock(&deviceLock);
    if (!isPollThread) {
        baselineJustRead = 1;
        baselineLine = lineOn;
    }
    int dead = portDead;
    if (!dead) {
        *status = modemOutputs | (lineOn ? TIOCM_CAR : 0);
        if (isPollThread && !pollSawChange && lineOn != pollBaseline) {
            pollSawChange = 1;
            ++latestWaits;
        }
    }
    pthread_mutex_unlock(&deviceLock);
    if (dead) {
        errno = EIO;
        return -1;
    }
    return 0;
}

static void SetModemOutputs(unsigned long request, int bits)
{
    static const char *const names[] = {"TIOCMSET", "TIOCMBIS", "TIOCMBIC"};
    int outputs = bits & (TIOCM_DTR | TIOCM_RTS);
    pthread_mutex_lock(&deviceLock);
    if (request == TIOCMSET)
        modemOutputs = outputs;
    else if (request == TIOCMBIS)
        modemOutputs |= outputs;
    else
        modemOutputs &= ~outputs;
    DeviceLog("modem: DTR %s, RTS %s (%s)", modemOutputs & TIOCM_DTR ? "on" : "off",
              modemOutputs & TIOCM_RTS ? "on" : "off",
              names[request == TIOCMSET ? 0 : request == TIOCMBIS ? 1 : 2]);
    pthread_mutex_unlock(&deviceLock);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    if (!IsPort(fd))
        return REAL(IoctlFunction, REAL_IOCTL)(fd, request, argument);
    UsePort();
    if (!isPollThread)
        baselineJustRead = 0;
    switch (request) {
    case TIOCMGET:
        return ReadModemStatus((int *)argument);
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        SetModemOutputs(request, *(const int *)argument);
        return 0;
    default:
        return REAL(IoctlFunction, REAL_IOCTL)(fd, request, argument);
    }
}

static int BaudRate(speed_t speed)
{
    static const struct { speed_t code; int baud; } rates[] = {
        {B0, 0}, {B50, 50}, {B75, 75}, {B110, 110}, {B134, 134}, {B150, 150}, {B200, 200}, {B300, 300},
        {B600, 600}, {B1200, 1200}, {B1800, 1800}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600},
        {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    for (size_t i = 0; i < sizeof rates / sizeof rates[0]; ++i)
        if (rates[i].code == speed)
            return rates[i].baud;
    return -1;
}

int tcsetattr(int fd, int action, const struct termios *settings)
{
    if (IsPort(fd)) {
        static const int bits[] = {5, 6, 7, 8};
        tcflag_t c = settings->c_cflag;
        const char *parity = !(c & PARENB) ? "none" : (c & CMSPAR) ? ((c & PARODD) ? "mark" : "space")
                                                                    : (c & PARODD) ? "odd" : "even";
        UsePort();
        pthread_mutex_lock(&deviceLock);
        DeviceLog("termios: %d baud, %d bits, parity %s, %d stop bits, rtscts %s", BaudRate(cfgetospeed(settings)),
                  bits[(c & CSIZE) == CS5 ? 0 : (c & CSIZE) == CS6 ? 1 : (c & CSIZE) == CS7 ? 2 : 3], parity,
                  (c & CSTOPB) ? 2 : 1, (c & CRTSCTS) ? "on" : "off");
        pthread_mutex_unlock(&deviceLock);
    }
    return REAL(TcsetattrFunction, "tcsetattr")(fd, action, settings);
}

/* ---- waits: Wine's poll threads ---- */

struct PollStart {
    void *(*start)(void *);
    void *argument;
    int baseline;
};

static void *StartPollThread(void *given)
{
    struct PollStart start = *(struct PollStart *)given;
    free(given);
    isPollThread = 1;
    pollBaseline = start.baseline;
    return start.start(start.argument);
}

/* A thread created by the waiting thread straight after it read the modem status is the one
   Wine polls that wait with. */
int pthread_create(pthread_t *thread, const pthread_attr_t *attributes, void *(*start)(void *), void *argument)
{
    ThreadCreateFunction create = REAL(ThreadCreateFunction, "pthread_create");
    struct PollStart *poll;
    if (!baselineJustRead || isPollThread || (poll = malloc(sizeof *poll)) == NULL)
        return create(thread, attributes, start, argument);
    baselineJustRead = 0;
    poll->start = start;
    poll->argument = argument;
    poll->baseline = baselineLine;
    int result = create(thread, attributes, StartPollThread, poll);
    if (result != 0)
        free(poll);
    return result;
}

/* Edge `number` (from 1) waits, in real time, until the hold file holds the hold text. */
static void HoldEdge(int number)
{
    int64_t start = RealCounter();
    int elapsedMs = 0;
    for (;; elapsedMs = (int)((RealCounter() - start) / (TICKS_PER_SECOND / 1000))) {
        char text[65536];
        ssize_t got = 0;
        int fd = holdFile != NULL ? REAL(OpenFunction, REAL_OPEN)(holdFile, O_RDONLY | O_CLOEXEC, 0) : -1;
        if (fd >= 0) {
            got = read(fd, text, sizeof text - 1);
            close(fd);
        }
        text[got > 0 ? got : 0] = '\0';
        int found = holdText != NULL && strstr(text, holdText) != NULL;
        if (found || elapsedMs >= HOLD_LIMIT_MS) {
            pthread_mutex_lock(&deviceLock);
            DeviceLog("hold: edge %d %s after %d ms: \"%s\" %s %s", number, found ? "released" : "gave up", elapsedMs,
                      holdText ? holdText : "", found ? "is in" : "never came in", holdFile ? holdFile : "(no file)");
            pthread_mutex_unlock(&deviceLock);
            return;
        }
        SleepMs(HOLD_POLL_MS);
    }
}

/* Once every edge has been played and the last one read: says so, sends Ctrl+C when asked to,
   and keeps this poll thread asleep for good, so the port stays quiet and costs nothing. */
static __attribute__((noreturn)) void EndOfRecording(void)
{
    pthread_mutex_lock(&deviceLock);
    int first = !endReported;
    endReported = 1;
    if (first)
        DeviceLog("end: %d of %d edges played", delivered, edgeCount);
    if (first && interruptAtEnd) {
        DeviceLog("interrupt: SIGINT to thread %d", (int)waitingThread);
        syscall(SYS_tgkill, getpid(), waitingThread, SIGINT);
    }
    pthread_mutex_unlock(&deviceLock);
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, NULL);
    for (;;)
        pause();
}

/* The first sleep of a wait's poll thread: the next edge, at its time. */
static void PlayNextEdge(void)
{
    pthread_mutex_lock(&deviceLock);
    int next = delivered + 1;
    if (portDead || (failAfter > 0 && delivered >= failAfter)) {
        if (!portDead)
            DeviceLog("fail: after %d edges the modem status fails", delivered);
        portDead = 1;
        pthread_mutex_unlock(&deviceLock);
        return;
    }
    int played = delivered == edgeCount;
    pthread_mutex_unlock(&deviceLock);
    if (played)
        EndOfRecording();
    if (next == holdEdge)
        HoldEdge(next);
    pthread_mutex_lock(&deviceLock);
    if (!latestRead && delivered > 0)
        DeviceLog("unread %d waits %d", delivered, latestWaits);
    const struct Edge *edge = &edges[delivered++];
    if (virtualCounter < epoch + edge->due)
        virtualCounter = epoch + edge->due;
    lineOn = edge->on;
    latestRead = 0;
    latestWaits = 0;
    DeviceLog("edge %d %s due %lld", next, edge->on ? "on" : "off", (long long)edge->due);
    pthread_mutex_unlock(&deviceLock);
}

int select(int count, fd_set *readable, fd_set *writable, fd_set *failed, struct timeval *timeout)
{
    if (isPollThread && count == 0 && !pollChangedLine) {
        pollChangedLine = 1;
        PlayNextEdge();
        return 0;
    }
    return REAL(SelectFunction, REAL_SELECT)(count, readable, writable, failed, timeout);
}

/* ---- the waiting thread's counter ---- */

int clock_gettime(clockid_t clock, struct timespec *now)
{
    if (clock != CLOCK_MONOTONIC_RAW || !isWaitingThread)
        return REAL(ClockFunction, REAL_CLOCK_GETTIME)(clock, now);
    pthread_mutex_lock(&deviceLock);
    int64_t ticks = virtualCounter++;
    if (delivered > 0 && !latestRead) {
        latestRead = 1;
        DeviceLog("read %d at %lld waits %d", delivered, (long long)(ticks - epoch), latestWaits);
    }
    pthread_mutex_unlock(&deviceLock);
    now->tv_sec = (time_t)(ticks / TICKS_PER_SECOND);
    now->tv_nsec = (long)(ticks % TICKS_PER_SECOND) * NS_PER_TICK;
    return 0;
}

/* ---- the wineserver: one open at a time ---- */

/* Whether another descriptor of this process is open on the port. */
static int PortOpenElsewhere(int except)
{
    DIR *folder = opendir("/proc/self/fd");
    struct dirent *entry;
    int found = 0;
    while (folder != NULL && !found && (entry = readdir(folder)) != NULL) {
        int fd = atoi(entry->d_name);
        found = entry->d_name[0] != '.' && fd != except && fd != dirfd(folder) && IsPort(fd);
    }
    if (folder != NULL)
        closedir(folder);
    return found;
}

static int RefuseSecondOpen(int fd)
{
    const char *exclusive = getenv("COM1_DEVICE_EXCLUSIVE");
    if (fd < 0 || exclusive == NULL || strcmp(exclusive, "1") != 0 || !IsPort(fd) || !PortOpenElsewhere(fd))
        return fd;
    close(fd);
    errno = EACCES;
    return -1;
}

int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    return RefuseSecondOpen(REAL(OpenFunction, REAL_OPEN)(path, flags, mode));
}

int openat(int folder, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    return RefuseSecondOpen(REAL(OpenatFunction, REAL_OPENAT)(folder, path, flags, mode));
}
