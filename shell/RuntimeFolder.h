#pragma once

// Without XDG_RUNTIME_DIR (su, runuser, ssh, cron) Qt warns on stderr and
// picks /tmp/runtime-<user>. This makes that same folder (0700, ours) and
// sets XDG_RUNTIME_DIR to it before Qt starts, so a normal start is quiet
// and the single-instance lock stays where it always was. Where that folder
// belongs to someone else, a private one is made with mkdtemp.
void ensureRuntimeFolder();
