#pragma once

// The choices the options model holds. Each enum lists its choices in the order of the
// settings words of its row in the settings table, so a choice is its word's index.

enum class Speed { Slow, Normal, Fast, UltraFast };
enum class UnpackType { RAW, EMH };
enum class UnpackDestination { SaveFile, WhereFile, CustomDir };
enum class JoinBatchMode { None, Names, FullPaths };
enum class DeleteAction { No, Prompt, NoPrompt };
// Writing over the output that the last successful pack wrote.
enum class OverwritePolicy { Prompt, No, NoPrompt };
enum class SaveFolder { LastSaved, Custom };
enum class StartupFolder { LastUsed, Custom };

// The three folders the user can choose for a job or a start.
enum class FolderChoice { Save, Startup, Unpack };
