// The engine's version, shown in its version information.
#ifndef RESOURCES_VERSION_H_
#define RESOURCES_VERSION_H_

#define ENGINE_VERSION_NUMBERS 1, 0, 0, 0
#define ENGINE_VERSION_TEXT "1.0.0.0"

#endif  // RESOURCES_VERSION_H_
