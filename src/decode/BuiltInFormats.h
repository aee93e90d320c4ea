#pragma once
// The formats the program decodes itself.

// Registers the built-in formats in the format registry, in their fixed
// order: wmf, emf, ico, bmp, the entry without extension, png, jpeg, jpg,
// gif. Only the first call registers; later calls do nothing.
void RegisterBuiltInFormats();

// Removes the JPEG class from the registry (every entry naming it); called
// at program end.
void UnregisterFormatsAtExit();
