// Intentionally empty until this folder has code.
