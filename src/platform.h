// What differs between the systems the programs run on, said once.
#ifndef PLATFORM_H
#define PLATFORM_H

// Sets a variable of this process's environment unless it is set already:
// the user's own setting wins.
void set_env_default(const char* name, const char* value);

#endif
