A = $(B)
B = $(A)
all:
	@echo $(A)
