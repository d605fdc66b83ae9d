// The tag tool's usage text.
#pragma once

// Writes the 22 lines of the usage text: overview, command form, every option with its long
// and short name, the character-set names, the common options and one example.
void exp_usage();
