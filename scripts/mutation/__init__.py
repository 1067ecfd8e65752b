"""Mutation testing for the C++ sources: see scripts/mutate.py."""
