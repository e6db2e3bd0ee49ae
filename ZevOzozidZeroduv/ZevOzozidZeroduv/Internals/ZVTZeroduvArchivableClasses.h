#pragma once

// Registers the crash service's model classes with the archive registry, and the class names
// earlier versions archived them under. Once per process; safe from any thread.
void zvtRegisterZeroduvArchivableClasses();
