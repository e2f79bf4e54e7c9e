# The two commands of the README. Both do all the set-up a fresh machine needs.
.PHONY: run test build setup

run: build
	scripts/run-demo

test: build
	scripts/test

build: setup
	scripts/build

setup:
	scripts/setup
