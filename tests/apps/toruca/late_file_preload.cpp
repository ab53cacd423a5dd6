// Preloaded into toruca by a test (LD_PRELOAD): when toruca looks whether
// the file QEL_TEST_LATE_FILE (a name, matched against the path's last
// component) exists and it does not, the file is made right after the look,
// as another process might make it between toruca's check and its write.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" __attribute__((visibility("default"))) int lstat(const char* path, struct stat* st) {
    using Lstat = int (*)(const char*, struct stat*);
    static const auto real = reinterpret_cast<Lstat>(::dlsym(RTLD_NEXT, "lstat"));
    const int result = real(path, st);
    const char* late = std::getenv("QEL_TEST_LATE_FILE");
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    if (result != 0 && late && std::strcmp(name, late) == 0) {
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (::write(fd, "late", 4) != 4) ::unlink(path);
            ::close(fd);
        }
    }
    return result;
}
