// Preloaded into every test under -DLUMORA_SANITIZE=ON (see CMakeLists.txt
// here): dlclose() does nothing, so that a library once loaded stays mapped
// until the process ends. LeakSanitizer checks for leaks at exit; a library
// that was unloaded before that, such as the Mesa driver that Qt's GLX
// integration loads and unloads with each display, takes its globals with
// it, so whatever they still pointed at is reported as leaked, from an
// "<unknown module>" that no suppression can name. Kept loaded, its memory is
// reachable as it really is, and any leak of its own keeps its name.
extern "C" int dlclose(void *)
{
    return 0;
}
