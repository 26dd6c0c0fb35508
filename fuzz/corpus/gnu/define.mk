define two-lines
echo one
echo two
endef

define RULE :=
$(1): $(2)
	@echo $$@ from $$^
endef

override define O
x
endef
export define E =
y
endef
$(eval $(call RULE,p,q))
$(eval $(call RULE,q,))
all: p
	$(two-lines)
undefine O
