/* LD_PRELOAD shim that lets the peer lockers start unprivileged in the benchmark:
 * - fopen of /proc/self/oom_score_adj goes to /dev/null (lowering it needs CAP_SYS_RESOURCE);
 * - getspnam answers every user with one fixed crypt hash (no shadow file is read, and a user
 *   whose hash is "*" is still allowed to lock).
 * Nothing unlocks the peers during the benchmark; they are ended by PID. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <shadow.h>
#include <stdio.h>
#include <string.h>

static const char kOomFile[] = "/proc/self/oom_score_adj";

static FILE* Redirected(const char* name, const char* mode, const char* symbol) {
  FILE* (*real)(const char*, const char*) =
      (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, symbol);
  if (name != NULL && strcmp(name, kOomFile) == 0) name = "/dev/null";
  return real(name, mode);
}

FILE* fopen(const char* name, const char* mode) {
  return Redirected(name, mode, "fopen");
}
FILE* fopen64(const char* name, const char* mode) {
  return Redirected(name, mode, "fopen64");
}

struct spwd* getspnam(const char* name) {
  /* crypt("bench") with a fixed salt; the locker checks it is a hash crypt() accepts. */
  static char hash[] =
      "$6$benchsalt$0kQCiHldjG5kuj8v4yzRhjGa58r4Kq.bbzhE43OQbldhEO7AGV.3."
      "DNU3G9BMAIW5y72HXigxRHEilIdGP80o0";
  static char user[64];
  static struct spwd entry;
  snprintf(user, sizeof user, "%s", name != NULL ? name : "");
  memset(&entry, 0, sizeof entry);
  entry.sp_namp = user;
  entry.sp_pwdp = hash;
  entry.sp_lstchg = entry.sp_min = entry.sp_max = entry.sp_warn = -1;
  entry.sp_inact = entry.sp_expire = -1;
  return &entry;
}
