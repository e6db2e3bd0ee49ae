#pragma once

// Registers the analytics logs and property bag with the archive registry, and the names older
// versions stored them under. Idempotent; safe from any thread.
void zvtRegisterZerevuzizArchivableClasses();
