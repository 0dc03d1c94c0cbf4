// Built into the program only with -DLUMORA_SANITIZE=ON.

// Leaks inside system libraries that this program cannot mend: libdbus keeps a buffer when no
// session bus can be reached (a snapshot over ssh, say).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

// A snapshot says nothing when all went well; neither does the leak check.
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
