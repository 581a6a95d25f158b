// The readers of the filter framework as the conversion driver finds them:
// one routine installs the writer's run steps and every reader by its format
// code. Whatever converts documents through the framework calls it once.
#ifndef KES_FILTERS_READERS_RDR_H
#define KES_FILTERS_READERS_RDR_H

// rdrregister: installs the writer's hooks and the readers; safe to repeat.
void rdrregister();

#endif
