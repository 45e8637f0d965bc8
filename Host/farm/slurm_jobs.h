// Talking to Slurm: its commands run as child processes (sbatch, squeue,
// scancel), the batch scripts a farm render submits, and following the jobs
// until they end.
#pragma once

#include <string>
#include <vector>

namespace plughost {

// Runs a program found on PATH and collects what it prints; its exit status,
// or -1 when it could not be started.
int RunProgram(const std::vector<std::string>& args, std::string* out, std::string* err);

// A command line for /bin/sh: each argument in single quotes.
std::string ShellLine(const std::vector<std::string>& args);

// A path as sbatch's file options take it: Slurm reads % there as the start
// of a pattern (%u, %j, ...), so a literal one is doubled.
std::string SlurmFilePattern(const std::string& path);

// sbatch --parsable with `args`; the new job's id.
bool SubmitBatchJob(std::vector<std::string> args, std::string* id, std::string* error);

// The script of an array task: runs `render` with `piece` "$SLURM_ARRAY_TASK_ID/
// `pieces`", on the threads Slurm gave the task; a task that failed while
// running asks Slurm to run it again, up to `retries` times, and one that
// failed on bad input (kExitBadInput) does not.
std::string TaskScript(const std::vector<std::string>& render, const std::string& piece, int pieces, int retries);
// The same for a bake of `udims` x `tiles` tasks: task I (from 1) bakes
// --udim udims[(I - 1) / tiles] --tile ((I - 1) % tiles + 1)/tiles.
std::string BakeTaskScript(const std::vector<std::string>& bake, const std::vector<int>& udims, int tiles, int retries);

// Follows the array job and the check job on a progress line (standard error:
// "`verb` job ID: ...") every `pollSeconds` until the check job ends. True
// when it completed and left the manifest; otherwise false, with the check
// job's log in *error.
bool FollowJobs(const std::string& verb, const std::string& array, const std::string& check, int tasks,
                const std::string& manifest, const std::string& checkLog, double pollSeconds, std::string* error);

}  // namespace plughost
